// The program's entry point.

#include "app/entry.hpp"

int main() { return amb::gf_runProgram(); }
