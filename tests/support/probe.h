// Probes: pieces of a test program that run in a child process of their own, so that tests
// can watch how a process ends (streams, exact bytes, full exit code).
#pragma once

#include <string>

using ProbeFunction = void (*)();

// Registers a probe at static initialisation; returns true.
bool registerProbe(const std::string& name, ProbeFunction function);

// TARNIC_PROBE(name) { body } defines a probe; tests start it with runProbe("name").
#define TARNIC_PROBE(name)                                                        \
  static void probe_##name();                                                     \
  static const bool probe_registered_##name = registerProbe(#name, probe_##name); \
  static void probe_##name()
