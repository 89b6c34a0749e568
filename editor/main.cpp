// The `lumeray` editor.
#include "cli.h"

int main(int argc, char** argv) {
  return lumeray::RunEditor(argc, argv);
}
