// Short Ogg Vorbis streams made in the test: clicks on every beat over silence.
#pragma once

#include <string>
#include <vector>

std::vector<unsigned char> makeClickStream(double seconds, long rate = 44100, int channels = 2);
// Writes the bytes to a file; returns its path.
std::string writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
