// Math on word: the whitespace-delimited word at the caret is evaluated by the host and replaced
// by its value.
//
// The host's Evaluate works in a whole edit-line buffer (128 KiB). It lives on the stack for the
// one call: the host's thread has 1 MiB, the action keeps nothing between keystrokes, and nothing
// else of the keystroke comes near that size. The result is spliced into the line once it is
// known to fit.
#include "mathword.h"

#include "../host/silenced.h"
#include "editline.h"
#include "widetext.h"

namespace {

// A word this long or longer is refused: the host's evaluation needs the slack.
constexpr size_t MAX_WORD_LENGTH = HOST_BUFFER_CAPACITY - 8;

struct Word {
    int32_t start; // index of its first unit, or -1 when no word begins at or before the caret
    int32_t end;   // index of its last unit
};

// The last word that begins at or before the caret's unit. It runs on to the first white space
// met outside double quotes; the quoted flag runs over the whole line from its start.
Word FindWord(const WCHAR* line, int32_t length, int32_t caret) {
    Word word = {-1, -1};
    bool quoted = false, inside = false;
    for (int32_t i = 0; i < length; ++i) {
        WCHAR ch = line[i];
        if (ch == '"') quoted = !quoted;
        bool space = WideIsSpace(ch);
        if (!space && i <= caret) {
            if (!inside) word.start = i;
            inside = true;
        }
        if (!space && inside) word.end = i;
        if (space && !quoted) inside = false;
    }
    return word;
}

} // namespace

int MathWord(WCHAR* line, int32_t* caret) {
    if (!line || !caret) return -1;
    int32_t length = int32_t(EditLineLength(line));
    if (length == 0) return 0;
    int32_t at = *caret;
    // (A caret past the line's end finds no word that reaches it.)
    if (at < 0) return 0;

    Word word = FindWord(line, length, at);
    if (word.start < 0 || word.end < at - 1) return 0;
    size_t wordLength = size_t(word.end - word.start) + 1;
    if (wordLength >= MAX_WORD_LENGTH) return -2;

    WCHAR expression[HOST_BUFFER_CAPACITY] = {};
    const WCHAR* text = line + word.start;
    size_t textLength = wordLength;
    if (textLength >= 2 && text[0] == '"' && text[textLength - 1] == '"') {
        // One pair of enclosing quotes goes; a word that opens a quote and leaves it open keeps it.
        if (textLength == 2) return 0;
        ++text;
        textLength -= 2;
    }
    WideCopyCount(expression, HOST_BUFFER_CAPACITY, text, textLength);

    if (EvaluateSilently(expression) != 0) return 0;
    int32_t resultLength = HostAnswerLength(expression);
    if (resultLength < 0) return 0;
    // A result that would push the line past its capacity is refused rather than cutting off
    // what the user typed after the word.
    if (!SpliceFits(size_t(length), wordLength, size_t(resultLength))) return 0;

    ClearEditLine(line);
    SpliceLine(line, size_t(length), size_t(word.start), wordLength, expression,
               size_t(resultLength));
    *caret = word.start + resultLength;
    return 1;
}
