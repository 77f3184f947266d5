#pragma once
// Text in and out of the CLI as the system hands it over: the command line as
// UTF-8 whatever the Windows code page, and UTF-8 text written so that a
// Windows console shows the characters (wide writes) while a file or a pipe
// gets UTF-8 bytes. POSIX passes both through.
// Thread: any; writes to one stream are not interleaved by callers.

#include <cstdio>
#include <string>
#include <vector>

namespace q8cli {

// The arguments after the program name, UTF-8. On Windows they are read
// again from the UTF-16 command line, since argv is in the ANSI code page and
// loses every character it lacks.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Environment variable `name` as UTF-8, empty when unset. On Windows it is
// read in UTF-16, as the ANSI copy loses every character it lacks.
std::string Utf8Environment(const char* name);

// Writes `text` (UTF-8) to stdout or stderr: through the stream's buffer,
// or straight to a Windows console, after what the stream still buffers.
// The first write of stdout that fails is kept for OutputFailure.
void WriteText(FILE* stream, const std::string& text);

// Flushes stdout, keeping a failure for OutputFailure.
void FlushOutput();

// Flushes stdout, then: the system's words for why the first write or flush
// of stdout failed; empty when none failed or the system gave no reason.
std::string OutputFailure();

// True when the terminal behind stderr understands the erase-line escape;
// a Windows console without virtual-terminal processing prints it raw.
bool StderrTakesEscapes();

// The width of the terminal behind stderr in columns; 0 when unknown.
size_t StderrColumns();

// On the terminal behind stderr: back to the start of the line `lines` lines
// up, and everything from there down cleared. A Windows console is moved
// through its own calls, which every console follows.
void EraseLinesAbove(size_t lines);

}  // namespace q8cli
