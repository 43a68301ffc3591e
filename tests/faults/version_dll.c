/* The DLL of the update tests' application: each version of the application carries its own
   build, which tells its version. */
#define TARNIC_STRING(x) #x
#define TARNIC_VERSION_TEXT(x) TARNIC_STRING(x)

__declspec(dllexport) const char* tarnicTestVersion(void) {
  return "dll " TARNIC_VERSION_TEXT(TARNIC_TEST_VERSION);
}
