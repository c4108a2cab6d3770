// Bytes that end exactly where a no-access page begins, so that reading one byte past the end
// faults at once, with or without a sanitizer.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

class GuardedBuffer {
  public:
    explicit GuardedBuffer(size_t bytes) {
        const size_t page = page_size();
        readable_ = (bytes + page - 1) / page * page;
        total_ = readable_ + page;
#ifdef _WIN32
        base_ =
            static_cast<uint8_t*>(VirtualAlloc(nullptr, total_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD previous;
        VirtualProtect(base_ + readable_, page, PAGE_NOACCESS, &previous);
#else
        base_ = static_cast<uint8_t*>(
            mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base_ + readable_, page, PROT_NONE);
#endif
        data_ = base_ + readable_ - bytes;
    }
    ~GuardedBuffer() {
#ifdef _WIN32
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, total_);
#endif
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() { return data_; }

  private:
    static size_t page_size() {
#ifdef _WIN32
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwPageSize;
#else
        return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
    }

    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t readable_ = 0;
    size_t total_ = 0;
};
