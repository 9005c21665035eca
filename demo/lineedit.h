// The edit line the host owns and hands to the plugin with every keystroke, and the host's own
// editing of it for the keys the plugin leaves alone.
#pragma once

#include <cstddef>
#include <string>

#include "../src/platform/platform.h"

namespace demo {

// The host's edit line holds this many UTF-16 units, the terminator included.
constexpr size_t LINE_UNITS = 65536;

struct EditLine {
    WCHAR text[LINE_UNITS] = {0};
    size_t length = 0; // units before the terminator
    size_t cursor = 0; // units before the caret
};

void LineClear(EditLine& line);
// Takes the line as the plugin left it: the length up to the first terminator (the last unit
// always terminates) and the caret at `cursor`, kept inside the text and off the second half
// of a surrogate pair.
void LineSync(EditLine& line, size_t cursor);
// Inserts a character at the caret; false when the line is full.
bool LineInsert(EditLine& line, char32_t ch);
void LineBackspace(EditLine& line);
void LineDelete(EditLine& line);
void LineMoveLeft(EditLine& line);
void LineMoveRight(EditLine& line);
void LineMoveHome(EditLine& line);
void LineMoveEnd(EditLine& line);
// UTF-8 of the units [from, to).
std::string LineUtf8(const EditLine& line, size_t from, size_t to);
// Terminal columns of one character: 2 for East Asian wide characters and emoji, else 1.
size_t CharacterColumns(char32_t ch);
// Terminal columns of the units [0, to).
size_t LineColumns(const EditLine& line, size_t to);

} // namespace demo
