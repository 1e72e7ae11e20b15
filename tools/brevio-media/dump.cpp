// `brevio-media flv-dump`: lists the tags of an FLV file and its metadata.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/brevio-media/commands.h"
#include "tools/brevio-media/flv_listing.h"

int RunFlvDump(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return BadArguments("flv-dump needs exactly one FILE");
  const std::string& path = args[0];
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "brevio-media: cannot open \"%s\"\n", path.c_str());
    return 1;
  }
  const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ListFlv(file, path, stdout, stderr);
}
