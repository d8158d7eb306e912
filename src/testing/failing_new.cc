// The global operator new of a test build, made to fail on demand.
// SMC_FAIL_NEW=N fails allocation N (from 0 at the start of the process), N+
// that one and every later one; each failure creates the file
// SMC_FAIL_NEW_MARK, so that a caller sees when N is past the last one.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

namespace {

long next = 0;     // the number of the next allocation
long failAt = -2;  // -2: not read yet, -1: none
bool failLater = false;

bool failThisOne() {
  if (failAt == -2) {
    const char* at = std::getenv("SMC_FAIL_NEW");
    char* end = nullptr;
    failAt = at != nullptr ? std::strtol(at, &end, 10) : -1;
    failLater = end != nullptr && *end == '+';
  }
  const long n = next++;
  if (n != failAt && !(failLater && n > failAt)) return false;
  if (const char* mark = std::getenv("SMC_FAIL_NEW_MARK")) close(open(mark, O_WRONLY | O_CREAT, 0600));
  return true;
}

}  // namespace

// Paired with malloc and free, as the sanitizers demand.
void* operator new(std::size_t size) {
  void* block = failThisOne() ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t /*size*/) noexcept { std::free(block); }
