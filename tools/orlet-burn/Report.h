#pragma once

// How orlet-burn speaks. Words for a person on the standard output and
// errors on the standard error (the default); with --quiet only the errors
// and warnings; with --json one JSON object per line on the standard output,
// errors and warnings included, ending with a "result" object:
//
//   {"type":"message","text":T}                   a line a person would read
//   {"type":"warning","text":T}                   also on stderr in words
//   {"type":"error","text":T}                     also on stderr in words
//   {"type":"event","job":J,"phase":P,"event":N,"detail":N,"text":T}
//       J: burn, image or erase; P: prepare, burn or erase; N, detail: the
//       library's event and detail numbers, T: them in words
//   {"type":"progress","percent":N,"buffer":N}    each percent once
//   {"type":"drive",...}                          drives and info (Commands.cpp)
//   {"type":"difference","path":T,"text":T}       verify, one per difference
//   {"type":"result","exit":N,"status":S,"text":T}
//       last line; S: done, failed, usage, cancelled or differences
//
// Threads: every call may come from any thread (the library's job thread
// prints events while the main thread waits); lines never interleave.

#include <nlohmann/json.hpp>
#include <string>

namespace orletburn {

enum class Voice { kWords, kQuiet, kJson };

// Set once, from the command line, before anything is said.
void SetVoice(Voice voice);
bool SpeaksJson();
bool SpeaksWords();  // kWords: lines for a person are printed

// A line for a person (without its newline).
void Say(const std::string& text);
// A line drawn again in place on a terminal (the progress bar): the next
// line said ends it first. Words only.
void Draw(const std::string& text);
// printf's formatting, into a string.
#ifdef __MINGW32__
#define ORLET_BURN_PRINTF gnu_printf  // the C99 printf mingw builds with, not the old runtime's
#else
#define ORLET_BURN_PRINTF printf
#endif
std::string Format(const char* format, ...) __attribute__((format(ORLET_BURN_PRINTF, 1, 2)));
// A problem: on stderr as "orlet-burn: TEXT" ("orlet-burn: warning: TEXT"),
// also as a JSON object with --json.
void Error(const std::string& text);
void Warning(const std::string& text);
// A job's event, said in words as "  TEXT".
void Event(const char* job, const char* phase, int event, int detail, const std::string& text);
// One object of the given type with its fields (drives, differences,
// progress); nothing without --json: the caller says it in words itself.
void Record(const char* type, const nlohmann::ordered_json& fields);
// The command's end: with --json the "result" line, its text the one given,
// else the last error said; answers exitCode.
int Finish(int exitCode, const std::string& text = "");

}  // namespace orletburn
