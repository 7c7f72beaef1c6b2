// The run's one exception (out of memory) is always caught by the entry
// routine, so the C++ runtime's verbose terminate handler, which prints the
// demangled name of an uncaught exception, would never run. Replacing it
// keeps the demangler (about 50 KB) out of the program file.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
