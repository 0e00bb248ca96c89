#include <cstdio>

int main() {
  std::fprintf(stderr, "kinora: not built yet\n");
  return 1;
}
