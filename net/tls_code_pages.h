#pragma once
// After a handshake, lets go of the pages of OpenSSL's code that the process has
// mapped. A handshake runs through about 3 MiB of libcrypto and libssl (provider
// set-up, certificate parsing, key exchange, verification), and the kernel maps each
// page it touches together with its neighbours; an idle connection then needs only the
// record layer's few pages. The pages stay in the page cache, shared with every other
// program using OpenSSL: what is needed again comes back on the next touch, without
// reading the disk.

namespace velmora {

// Only read-only, executable segments are released: they hold nothing that is ours.
void release_tls_code_pages();

}  // namespace velmora
