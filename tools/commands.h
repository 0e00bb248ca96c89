// The commands of kzmtool, one function each, and what they share.
#pragma once

#include <cstdio>
#include <string>

#include "tools/arguments.h"

class MorphEngine;

// The tool's one engine, made on first use.
MorphEngine& toolEngine();

// Writes "kzmtool: message" to standard error and returns the failure exit code 1.
int fail(const std::string& message);

// Loads the project into the engine; on failure reports why and returns false.
bool loadProjectOrReport(MorphEngine& engine, const std::string& path);

// Writes the bytes to standard output; false (reported) when that fails.
bool writeToStandardOutput(const void* data, size_t size);

// Each takes the command's parsed arguments (their number already checked) and returns the
// exit code.
int runInfo(const Arguments& args);
int runNew(const Arguments& args);
int runExtract(const Arguments& args);
int runSet(const Arguments& args);
int runMesh(const Arguments& args);
int runRender(const Arguments& args);
