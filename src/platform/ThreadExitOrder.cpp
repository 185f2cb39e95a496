// Windows builds with mingw-w64 GCC (posix threads): thread_local objects live in emulated TLS,
// whose storage a winpthreads key destructor frees at thread exit; libstdc++ runs their C++
// destructors from another key's destructor. winpthreads calls key destructors in the order
// the keys were made, and the emulated-TLS key is made on the first thread_local access, so
// without this the destructors of a worker's thread_local objects (Qt's regular-expression JIT
// stack among them) run on freed memory and crash the program at random as a worker ends.
// Registering one thread-exit destructor before anything touches a thread_local makes
// libstdc++'s key first. Compiled into each Windows program (see src/CMakeLists.txt), so that
// it runs among the program's first static initializers.
extern "C" int __cxa_thread_atexit(void (*destructor)(void *), void *object, void *dsoHandle);

namespace {

void nothingToDestroy(void *) {}

struct ThreadExitOrder {
    ThreadExitOrder() { __cxa_thread_atexit(nothingToDestroy, nullptr, nullptr); }
};

__attribute__((init_priority(101))) const ThreadExitOrder threadExitOrder;

} // namespace
