// kestrum: the command-line face of libkestrum (the commands: run.cc).
#include <iostream>

#include "cli.h"

int main(int argc, char **argv) { return kcli::run_tool(argc, argv, std::cout, std::cerr); }
