// Test helpers: parsing a text with its messages captured, temporary files, running programs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/shape.h"

struct Parsed {
    bool ok = false;
    std::string messages;  // what went to standard error
    Shape shape;
};

// Parses an exact-size copy of text, so that the address sanitizer sees any look past its end.
Parsed parseText(const std::string& text);

// Loads a file through Shape::load, with its messages.
Parsed loadFile(const std::string& path);

// A fresh file in a private temporary folder, removed with the process's temporary folder.
std::string writeTempFile(const std::string& name, const std::string& content);
std::string tempDir();

struct RunResult {
    std::string out;
    std::string err;
    int exitStatus = -1;  // -1 unless the program exited normally
};

// Runs the program at path with the given words (word 0 included), input from /dev/null. With
// oneStream, standard error goes into out as well, as on a terminal.
RunResult runProgram(const std::string& path, const std::vector<std::string>& words, bool oneStream = false);

std::string readFile(const std::string& path);

// argv as a program receives it, ended by a null pointer, pointing into words (which outlive it).
std::vector<char*> argumentVector(std::vector<std::string>& words);

bool exists(const std::string& path);  // a file, folder or anything else stands at path

// Each component equal to the float given, exactly.
void expectVector(const Vector3& v, float x, float y, float z);

std::string modelPath(const std::string& fileName);  // a sample model in models/
