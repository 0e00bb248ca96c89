// The commands of kzmtool, one function each, and what they share.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "tools/arguments.h"

class MorphEngine;

// The tool's one engine, made on first use.
MorphEngine& toolEngine();

// Writes "kzmtool: message" to standard error and returns the failure exit code 1.
int fail(const std::string& message);

// Loads the project into the engine; on failure reports why and returns false.
bool loadProjectOrReport(MorphEngine& engine, const std::string& path);

// For the commands that play the project (render, export): loads it into the tool's engine with
// the player's checks and messages (a missing file, fewer than two pictures); false when it fails.
bool loadPlayableProjectOrReport(const std::string& path);

// For a command that changes FILE.kzm (its first argument) and saves it to -o OUT.kzm or in its
// own place: sets `output` to where it goes, checks that output (it may replace a project, with
// --force any file, never one of `inputs`; the project itself is in memory before the write) and
// loads the project into the tool's engine. False, reported, when either fails.
bool loadProjectToChange(const Arguments& args, std::span<const std::string> inputs,
                         std::string& output);

// Saves the project (atomically); on failure reports why and returns false.
bool saveOrReport(const MorphEngine& engine, const std::string& path);

// Writes the bytes to standard output; false (reported) when that fails.
bool writeToStandardOutput(const void* data, size_t size);

// Each takes the command's parsed arguments (their number already checked) and returns the
// exit code.
int runInfo(const Arguments& args);
int runNew(const Arguments& args);
int runAdd(const Arguments& args);
int runExtract(const Arguments& args);
int runSet(const Arguments& args);
int runMesh(const Arguments& args);
int runRender(const Arguments& args);
int runFaces(const Arguments& args);
int runExport(const Arguments& args);

// Face points for faces and new --faces: adds them (or reports why not, naming `project`), and
// prints what was done on each picture.
bool addFacePointsOrReport(MorphEngine& engine, const std::string& project,
                           const std::vector<bool>& chosen, std::vector<int32_t>& sources);
void printFacePointsLines(const std::vector<int32_t>& sources);
