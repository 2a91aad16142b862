#pragma once

// The writing end of a FIFO, played by a thread of its own: once something has the FIFO
// open for reading, it writes its bytes and closes. With a delay it waits that long
// first, which makes it a rescuer: code that should never block on a FIFO, but does,
// is let go after the delay (it then reads whatever was written) instead of hanging the
// test, and rescued() says that it had to.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace sh::testing {

class FifoWriter {
public:
    FifoWriter(std::filesystem::path fifo, std::string bytes,
               std::chrono::milliseconds delay = std::chrono::milliseconds(0))
        : m_thread([this, fifo = std::move(fifo), bytes = std::move(bytes), delay] {
              const auto start = std::chrono::steady_clock::now();
              while (!m_stop && std::chrono::steady_clock::now() - start < delay)
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              while (!m_stop) {
                  // Non-blocking: succeeds only while a reader has the FIFO open (or is
                  // waiting in open() for a writer).
                  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                  if (fd < 0) {
                      std::this_thread::sleep_for(std::chrono::milliseconds(5));
                      continue;
                  }
                  ::fcntl(fd, F_SETFL, 0);
                  for (std::size_t done = 0; done < bytes.size();) {
                      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
                      if (n <= 0)
                          break;
                      done += static_cast<std::size_t>(n);
                  }
                  ::close(fd);
                  m_wrote = true;
                  return;
              }
          }) {}
    ~FifoWriter() {
        m_stop = true;
        m_thread.join();
    }
    FifoWriter(const FifoWriter&) = delete;
    FifoWriter& operator=(const FifoWriter&) = delete;

    // True once the bytes went in: for a rescuer, that the reader was still blocked.
    bool rescued() const { return m_wrote; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_wrote{false};
    std::thread m_thread;
};

}  // namespace sh::testing
