// A preloaded library that hides once its constructor has run, as an injected library would: it
// scrubs LD_PRELOAD from its process's environment block, then takes away its code's execute
// permission (VELDO_HIDE=protect) or unmaps its code (VELDO_HIDE=unmap); the rest of the library
// stays mapped. Built without start files, so no code of it runs after that (x86-64 only).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
// What the last constructor passes on to mprotect or munmap: read by its assembly.
__attribute__((visibility("hidden"))) std::uintptr_t veldoHideStart = 0;
__attribute__((visibility("hidden"))) std::size_t veldoHideLength = 0;
__attribute__((visibility("hidden"))) void* veldoHideCall = nullptr;
}

namespace {

// The executable segment of the object that holds this function.
int findOwnCode(dl_phdr_info* info, std::size_t, void*)
{
    const auto self = reinterpret_cast<std::uintptr_t>(&findOwnCode);
    std::uintptr_t codeStart = 0;
    std::uintptr_t codeEnd = 0;
    bool ours = false;
    for (int at = 0; at < info->dlpi_phnum; ++at) {
        const ElfW(Phdr)& header = info->dlpi_phdr[at];
        if (header.p_type != PT_LOAD)
            continue;
        const std::uintptr_t begin = info->dlpi_addr + header.p_vaddr;
        const std::uintptr_t end = begin + header.p_memsz;
        if (self >= begin && self < end)
            ours = true;
        if ((header.p_flags & PF_X) != 0) {
            codeStart = begin;
            codeEnd = end;
        }
    }
    if (!ours || codeEnd == 0)
        return 0;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    veldoHideStart = codeStart & ~(page - 1);
    veldoHideLength = ((codeEnd + page - 1) & ~(page - 1)) - veldoHideStart;
    return 1;
}

int doNothing()
{
    return 0;
}

} // namespace

extern char** environ; // NOLINT(readability-redundant-declaration)

__attribute__((constructor(101))) static void prepareToHide()
{
    for (char** entry = environ; entry && *entry; ++entry)
        if (std::strncmp(*entry, "LD_PRELOAD=", 11) == 0)
            (*entry)[0] = 'X';
    const char* mode = std::getenv("VELDO_HIDE"); // NOLINT(concurrency-mt-unsafe): before main
    veldoHideCall = reinterpret_cast<void*>(&doNothing);
    if (mode && ::dl_iterate_phdr(findOwnCode, nullptr) == 1) {
        if (std::strcmp(mode, "protect") == 0)
            veldoHideCall = reinterpret_cast<void*>(&::mprotect);
        else if (std::strcmp(mode, "unmap") == 0)
            veldoHideCall = reinterpret_cast<void*>(&::munmap);
    }
}

#if defined(__x86_64__)
// Jumps (no return into this library's code) to mprotect(start, length, PROT_READ) or
// munmap(start, length), which return to the loader that ran the constructor.
__attribute__((constructor(102), naked, used)) static void hide()
{
    asm("movq veldoHideStart(%rip), %rdi\n\t"
        "movq veldoHideLength(%rip), %rsi\n\t"
        "movl $1, %edx\n\t"
        "jmpq *veldoHideCall(%rip)\n\t");
}
#endif
