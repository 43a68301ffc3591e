// The main program of the benchmark's application: it returns at once, so that a launcher's
// start measures the launcher and the system rather than the application.
int wmain() {
  return 0;
}
