// The prefix that opens every error message.
#pragma once

// Writes "Tallix plugin: " to standard error and, inside a batch file, the file's name and line.
void PrintMessagePrefix();
