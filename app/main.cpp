// The program's entry: everything happens in the main flow.
#include "app/main_flow.h"

int main() {
  return runMainFlow();
}
