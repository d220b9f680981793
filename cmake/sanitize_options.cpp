// cmake/sanitize_options.cpp - linked into every program of a sanitizer build
// (QIV_SANITIZE), and only there: AddressSanitizer's defaults for them.
//
// intercept_tls_get_addr=0: with the interception on, the runtime records
// where each dynamic TLS block of a dlopened library lies (Mesa's driver and
// the libraries it pulls in have such blocks) so that LeakSanitizer can scan
// it. To find a block's size it guesses at glibc's layout: a block whose
// address is 16 bytes past a page boundary is taken to start with a header of
// glibc 2.19, and with glibc's of today that "header" is whatever lies before
// an ordinary heap block. The leak check at exit then scans a range of
// nonsense addresses and its tracer dies of a segmentation fault ("Tracer
// caught signal 11"), now and then, wherever the allocator happened to put the
// block. Without the interception nothing is lost: glibc takes those blocks
// from malloc and keeps them in the thread's vector of TLS blocks, which the
// leak check reaches from the thread's static TLS, so the blocks and whatever
// they point to are still found, and leaks anywhere are still reported.
// ASAN_OPTIONS, read after these defaults, can still say otherwise.
extern "C" const char* __asan_default_options()
{
    return "intercept_tls_get_addr=0";
}
