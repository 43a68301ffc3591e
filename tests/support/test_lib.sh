# What the shell tests share: sourced by each of them.

# Ends the test with a message on standard error.
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
