#pragma once

// Attaches to the console of the process that started the program, once; later calls
// return the first answer. A process that already has a console counts as attached.
bool AttachParentConsole();

// Formats a wide printf-style text ("%s" and "%ls" both take wide strings) and writes it,
// followed by "\n", to the starting process's console. When standard output is a file or a
// pipe (a script or deployment tool capturing the output), the text goes there as UTF-8.
// Texts of 65536 characters or more, and invalid formats, are not written.
void PrintToConsole(const wchar_t* format, ...);
