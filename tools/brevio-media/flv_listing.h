#pragma once
// Lists the tags of FLV file bytes and the metadata of its script tags.

#include <cstdio>
#include <string>
#include <vector>

// Writes one line per tag to `out` (script tags followed by their values);
// problems go to `err`, naming `path`. 0 when the whole file was listed, 1
// when it is not an FLV file or a tag is cut off.
int ListFlv(const std::vector<unsigned char>& file, const std::string& path, std::FILE* out,
            std::FILE* err);
