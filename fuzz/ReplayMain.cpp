// Replay driver for the fuzz targets outside libFuzzer: runs every file of the
// seed corpus through the target, then a fixed number of deterministic
// mutations of them (bit flips, truncations, splices, random bytes), so that the
// ordinary test build exercises each decoder under the sanitizers.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::vector<uint8_t> out;
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    return out;
  }
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    out.insert(out.end(), buf, buf + n);
  }
  std::fclose(f);
  return out;
}

void CollectFiles(const std::string &path, std::vector<std::vector<uint8_t>> &out) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) {
    return;
  }
  if (S_ISREG(st.st_mode)) {
    out.push_back(ReadFile(path));
    return;
  }
  DIR *dir = opendir(path.c_str());
  if (dir == nullptr) {
    return;
  }
  while (dirent *e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    CollectFiles(path + "/" + name, out);
  }
  closedir(dir);
}

void Run(const std::vector<uint8_t> &input) {
  // Copy into an exactly sized heap block so ASan sees any read past the end.
  std::vector<uint8_t> exact(input);
  exact.shrink_to_fit();
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::vector<uint8_t>> seeds;
  for (int i = 1; i < argc; ++i) {
    CollectFiles(argv[i], seeds);
  }
  seeds.push_back({});
  for (const auto &s : seeds) {
    Run(s);
  }
  std::mt19937 rng(20261211u);
  const int kMutations = 3000;
  for (int i = 0; i < kMutations; ++i) {
    std::vector<uint8_t> in = seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      switch (rng() % 5) {
      case 0:
        if (!in.empty()) in[rng() % in.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        if (!in.empty()) in.resize(rng() % in.size());
        break;
      case 2:
        if (!in.empty()) in[rng() % in.size()] = static_cast<uint8_t>(rng());
        break;
      case 3: {
        const auto &other = seeds[rng() % seeds.size()];
        if (!other.empty()) {
          size_t from = rng() % other.size();
          size_t at = in.empty() ? 0 : rng() % in.size();
          in.insert(in.begin() + static_cast<long>(at), other.begin() + static_cast<long>(from), other.end());
        }
        break;
      }
      default:
        in.insert(in.begin() + static_cast<long>(in.empty() ? 0 : rng() % in.size()), static_cast<uint8_t>(rng()));
        break;
      }
    }
    Run(in);
  }
  std::printf("replayed %zu seeds and %d mutations\n", seeds.size(), kMutations);
  return 0;
}
