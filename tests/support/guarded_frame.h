// Test memory that ends exactly where a no-access page begins, so that reading one byte past the
// end faults at once, with or without a sanitizer: raw bytes, and host frame buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../../core/frame.h"

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

    uint8_t* data() const { return data_; }

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

// A host frame buffer of `height` rows FRAME_PITCH bytes apart holding exactly the bytes that a
// conversion may read: every row but the last in full, and the last up to column
// min(width, FRAME_PITCH) - 1, where the no-access page begins.
class GuardedFrame {
  public:
    GuardedFrame(int32_t width, int32_t height)
        : columns_(width < FRAME_PITCH ? width : FRAME_PITCH), height_(height),
          buffer_(static_cast<size_t>(height - 1) * FRAME_PITCH + columns_) {}

    uint8_t* data() const { return buffer_.data(); }
    uint8_t& at(int32_t x, int32_t y) const { return data()[y * FRAME_PITCH + x]; }
    // Every readable byte outside the frame's columns: never part of the picture.
    void fill_outside_columns(uint8_t value) {
        for (int32_t y = 0; y < height_ - 1; ++y)
            for (int32_t x = columns_; x < FRAME_PITCH; ++x)
                at(x, y) = value;
    }

  private:
    int32_t columns_;
    int32_t height_;
    GuardedBuffer buffer_;
};
