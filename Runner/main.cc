#include "app_delegate.h"

// Hands the arguments to the application and ends with its exit status.
int main(int argc, char** argv) {
  g_autoptr(AppDelegate) app = app_delegate_new();
  return g_application_run(G_APPLICATION(app), argc, argv);
}
