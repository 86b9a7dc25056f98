#include "platform/sys/FileDescriptor.hpp"
#include "platform/sys/FileDescriptorIO.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <span>
#include <string>
#include <thread>

namespace {

using platform::sys::FileDescriptor;
using platform::sys::writeAll;
using testsupport::fileContents;
using testsupport::letterPattern;

std::span<const std::byte> bytesOf(const std::string& text) { return std::as_bytes(std::span(text)); }

// SIGUSR1 does nothing but interrupt, without restarting, the blocking call of the thread it is sent to.
class InterruptingSignal {
public:
    InterruptingSignal() {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(SIGUSR1, &action, &previous_);
    }
    ~InterruptingSignal() { sigaction(SIGUSR1, &previous_, nullptr); }
    InterruptingSignal(const InterruptingSignal&) = delete;
    InterruptingSignal& operator=(const InterruptingSignal&) = delete;

private:
    struct sigaction previous_ {};
};

TEST(WriteAll, WritesEveryByteToAFile) {
    testsupport::TemporaryFolder folder;
    const auto path = folder.path() / "out.bin";
    const FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(file.isOpen());
    const std::string payload = letterPattern(300000) + std::string(1, '\0') + "end";

    EXPECT_TRUE(writeAll(file.get(), bytesOf(payload)));
    EXPECT_TRUE(writeAll(file.get(), {}));

    EXPECT_EQ(fileContents(path), payload);
}

// A writer blocked on a full pipe is interrupted again and again while the pipe drains in small reads, so its
// writes come back short or interrupted; every byte still arrives, once and in order.
TEST(WriteAll, CarriesOnAfterShortAndInterruptedWrites) {
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const FileDescriptor reading(ends[0]);
    const InterruptingSignal signal;
    const std::string payload = letterPattern(1 << 20);

    bool written = false;
    // The writer closes its end when done, so that the reading below ends even when bytes go missing.
    std::thread writer([&, writing = FileDescriptor(ends[1])]() mutable {
        written = writeAll(writing.get(), bytesOf(payload));
        writing.reset();
    });
    std::string received;
    char chunk[4096];
    while (true) {
        pthread_kill(writer.native_handle(), SIGUSR1);
        const ssize_t count = ::read(reading.get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        received.append(chunk, static_cast<std::size_t>(count));
    }
    writer.join();

    EXPECT_TRUE(written);
    EXPECT_EQ(received, payload);
}

TEST(WriteAll, AFailedWriteIsReportedWithItsErrno) {
    testsupport::TemporaryFolder folder;
    const auto path = folder.path() / "read-only.bin";
    const FileDescriptor created(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    const FileDescriptor readOnly(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(readOnly.isOpen());
    const std::string payload = "lost";

    for (const int descriptor : {readOnly.get(), -1}) {
        errno = 0;
        EXPECT_FALSE(writeAll(descriptor, bytesOf(payload)));
        EXPECT_EQ(errno, EBADF);
    }
    EXPECT_EQ(fileContents(path), "");
}

} // namespace
