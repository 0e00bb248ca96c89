#include <cstdio>

int main() {
  std::fprintf(stderr, "kzmtool: not built yet\n");
  return 1;
}
