#include "datafiles/text_pieces.h"

std::vector<std::string> splitLinePieces(std::string_view content, std::size_t maxPiece)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) pieces.emplace_back();
        for (std::size_t at = 0; at < line.size(); at += maxPiece) pieces.emplace_back(line.substr(at, maxPiece));
        start = next;
    }
    return pieces;
}
