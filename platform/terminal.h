// The terminal and text streams as the translator's toolkit needs them:
// whether a standard stream is a terminal and how wide it is, UTF-8 text
// written so that a console shows it, and GBK (the "ANSI" code page 936 of
// a Chinese Windows) decoded to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class Stream { kOut, kErr };

// True when stream goes to a terminal (isatty / a Windows console), not to
// a file or a pipe.
bool IsTerminal(Stream stream);
// The terminal's width in columns; 0 when stream is no terminal or its
// width cannot be had.
int TerminalColumns(Stream stream);
// Writes UTF-8 text to stream and flushes it. A Windows console receives it
// as UTF-16 (WriteConsoleW), so it shows whatever the console's code page;
// files and pipes receive the bytes unchanged. False when not every byte
// got there.
bool WriteUtf8(Stream stream, std::string_view text);

// Gives the program's results a standard output of their own: from now on
// WriteUtf8(Stream::kOut) (and IsTerminal, TerminalColumns) use the
// standard output as it was, while everything else written to standard
// output (the console messages of the patcher's modules) goes to standard
// error. Called once at program start by a program whose standard output
// must hold its results alone. False when it cannot be done (nothing
// changes then).
bool SeparateResults();

// GBK bytes (code page 936: ASCII, and two-byte characters with a lead byte
// 0x81-0xFE) as UTF-8: iconv on POSIX, MultiByteToWideChar(936) on Windows.
// False, with utf8 unspecified, when bytes are not GBK.
bool GbkToUtf8(std::string_view bytes, std::string* utf8);

}  // namespace platform
