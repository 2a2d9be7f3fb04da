// Tavrin's entry point.
#include <cstdio>

int main() {
    std::puts("Tavrin is built. The wizard's windows are not part of this build yet.");
    return 0;
}
