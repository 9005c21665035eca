// printf-style formatting of UTF-16 text as Microsoft's wide formatters do it: %s takes a wide
// string, %c a wide character, %d and %i signed and %u unsigned 32-bit integers, %x and %X
// hexadecimal, %% a percent sign; flags "-" and "0" and a width are honoured. Shared by the
// stand-ins of wsprintfW and of the host's Printf and Qprintf.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

namespace standin {

inline std::u16string FormatWideV(const char16_t* format, va_list args) {
    std::u16string out;
    if (!format) return out;
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        ++p;
        bool left = false, zero = false;
        for (; *p == u'-' || *p == u'0'; ++p) (*p == u'-' ? left : zero) = true;
        size_t width = 0;
        for (; *p >= u'0' && *p <= u'9'; ++p) width = width * 10 + (*p - u'0');
        while (*p == u'l' || *p == u'h' || *p == u'w') ++p;
        std::u16string field;
        switch (*p) {
        case u's': {
            const char16_t* s = va_arg(args, const char16_t*);
            field = s ? s : u"(null)";
            break;
        }
        case u'c':
            field += char16_t(va_arg(args, int));
            break;
        case u'd':
        case u'i': {
            std::string digits = std::to_string(va_arg(args, int32_t));
            field.assign(digits.begin(), digits.end());
            break;
        }
        case u'u': {
            std::string digits = std::to_string(va_arg(args, uint32_t));
            field.assign(digits.begin(), digits.end());
            break;
        }
        case u'x':
        case u'X': {
            const char* set = *p == u'x' ? "0123456789abcdef" : "0123456789ABCDEF";
            uint32_t v = va_arg(args, uint32_t);
            do field.insert(field.begin(), char16_t(set[v % 16]));
            while (v /= 16);
            break;
        }
        case u'%':
            field = u"%";
            break;
        case 0:
            return out;
        default:
            field = std::u16string(u"%") + *p;
            break;
        }
        if (field.size() < width) {
            std::u16string pad(width - field.size(), zero && !left ? u'0' : u' ');
            field = left ? field + pad : pad + field;
        }
        out += field;
    }
    return out;
}

// Appends the UTF-8 form of one code point.
inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

inline std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        AppendUtf8(out, c);
    }
    return out;
}

// UTF-16 of UTF-8 text; a byte that starts no valid sequence (overlong forms included) becomes
// U+FFFD.
inline std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80             ? 0
                    : (b & 0xE0) == 0xC0 ? 1
                    : (b & 0xF0) == 0xE0 ? 2
                    : (b & 0xF8) == 0xF0 ? 3
                                         : -1;
        uint32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
        bool valid = extra >= 0 && i + size_t(extra) < text.size();
        for (int k = 1; valid && k <= extra; ++k) {
            unsigned char t = static_cast<unsigned char>(text[i + size_t(k)]);
            valid = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        // A code point in more bytes than it needs (an overlong form such as C0 8A for "\n") is
        // no UTF-8: read as what it encodes, it would slip past checks made on the bytes.
        const uint32_t least = extra == 1 ? 0x80 : extra == 2 ? 0x800 : extra == 3 ? 0x10000 : 0;
        if (!valid || c < least || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        i += size_t(extra) + 1;
        if (c >= 0x10000) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

} // namespace standin
