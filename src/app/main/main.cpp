// SPDX-License-Identifier: MIT
// The transfer program.
#include "app/program.h"

int main(int argc, char** argv) {
  return talvi::app::RunProgram(argc, argv);
}
