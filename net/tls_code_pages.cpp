#include "net/tls_code_pages.h"

#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include <openssl/crypto.h>
#include <openssl/ssl.h>

namespace velmora {
namespace {

// An address inside each library: the object that holds it is OpenSSL's.
const std::uintptr_t kMarks[] = {reinterpret_cast<std::uintptr_t>(&SSL_new),
                                 reinterpret_cast<std::uintptr_t>(&OPENSSL_init_crypto)};

bool holds_mark(const dl_phdr_info* info) {
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    for (std::uintptr_t mark : kMarks) {
      if (mark >= start && mark < start + segment.p_memsz) return true;
    }
  }
  return false;
}

int release_code_of(dl_phdr_info* info, std::size_t, void*) {
  if (info->dlpi_addr == 0 || !holds_mark(info)) return 0;  // not the main program
  const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X) || (segment.p_flags & PF_W)) continue;
    // Whole pages inside the segment only: a partial one at either end may be shared
    // with a writable neighbour's data.
    const std::uintptr_t start = (info->dlpi_addr + segment.p_vaddr + page - 1) & ~(page - 1);
    const std::uintptr_t end = (info->dlpi_addr + segment.p_vaddr + segment.p_memsz) & ~(page - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
  }
  return 0;
}

}  // namespace

void release_tls_code_pages() { ::dl_iterate_phdr(release_code_of, nullptr); }

}  // namespace velmora
