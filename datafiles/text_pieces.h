// Reading a data file line by line the way its fixed-length line buffer does: a line longer than
// the buffer comes out as several pieces, each taken as a line of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits content at line breaks (LF or CR LF) and cuts each line into pieces of at most maxPiece
// characters. An empty line gives one empty piece; a break at the very end starts no further line.
std::vector<std::string> splitLinePieces(std::string_view content, std::size_t maxPiece);
