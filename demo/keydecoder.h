// Terminal input to keys. The sequences understood (xterm and its descendants):
//
//   printable text (UTF-8)       the character; an upper-case letter with Shift
//   0x01-0x1A                    Ctrl with a letter; 0x09 Tab, 0x0D Enter
//   0x7F                         Backspace
//   ESC c                        Alt with c (a character, a control character or Backspace)
//   ESC ESC-sequence             Alt with that key
//   ESC ESC                      Ctrl-Alt-[ (also what Alt-Esc sends, which has no host code)
//   CSI A B C D H F              Up Down Right Left Home End (also SS3 A-D H F)
//   CSI 1;m A ... CSI 1;m F      the same with modifiers
//   SS3 P Q R S, CSI 1;m P-S     F1-F4 (with modifiers)
//   CSI n ~, CSI n;m ~           Home 1/7, Ins 2, Del 3, End 4/8, PgUp 5, PgDn 6, F1-F4 11-14,
//                                F5 15, F6-F10 17-21, F11 23, F12 24
//   CSI Z                        Shift-Tab
//   CSI 27;m;c ~, CSI c;m u      character c with modifiers (modifyOtherKeys, CSI u)
//
// xterm's modifier parameter m is 1 plus the sum of Shift 1, Alt 2, Ctrl 4.
#pragma once

#include <cstddef>

#include "hostkeys.h"

namespace demo {

// Decodes the first key of `bytes[0..size)`. Returns the number of bytes it took, or 0 when the
// bytes end inside a sequence (more may follow). With `final` set the input ends there: a lone
// ESC is the Esc key and a cut sequence is dropped. An unknown sequence is taken whole and gives
// KEY_NONE.
size_t DecodeKey(const unsigned char* bytes, size_t size, bool final, Key* key);

} // namespace demo
