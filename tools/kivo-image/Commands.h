#pragma once

// Subcommands of kivo-image. Each takes the arguments after its name and returns the process
// exit status; errors are printed to stderr as "kivo-image: FILE: reason".

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
int RunConvert(const Args& args);
int RunApply(const Args& args);
int RunFilter(const Args& args);
int RunGallery(const Args& args);

// Prints "kivo-image: <subject>: <reason>" and returns 1.
int Fail(const std::string& subject, const std::string& reason);
// Parses a whole decimal integer; false when the text is not one.
bool ParseInt(const std::string& text, int* value);
