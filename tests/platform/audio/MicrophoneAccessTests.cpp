#include "platform/audio/MicrophoneAccess.hpp"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <utility>

namespace platform::audio {
namespace {

struct Answer {
    bool granted;
    std::thread::id thread;
};

// Asks for access and returns where the answer will arrive.
std::future<Answer> request(MicrophoneAccess& access) {
    auto promise = std::make_shared<std::promise<Answer>>();
    auto answer = promise->get_future();
    access.requestAccess([promise](bool granted) {
        promise->set_value(Answer{.granted = granted, .thread = std::this_thread::get_id()});
    });
    return answer;
}

TEST(MicrophoneAccessTests, TheHostIsAuthorisedUnlessToldOtherwise) {
    EXPECT_EQ(MicrophoneAccess().authorizationStatus(), AuthorizationStatus::authorized);
    EXPECT_EQ(&MicrophoneAccess::shared(), &MicrophoneAccess::shared());
}

TEST(MicrophoneAccessTests, AKnownStatusIsAnsweredAtOnceOnAnotherThread) {
    const struct {
        AuthorizationStatus status;
        bool granted;
    } cases[] = {{.status = AuthorizationStatus::authorized, .granted = true},
                 {.status = AuthorizationStatus::denied, .granted = false},
                 {.status = AuthorizationStatus::restricted, .granted = false}};
    for (const auto& c : cases) {
        MicrophoneAccess access(AuthorizationStatus::notDetermined);
        access.setAuthorizationStatus(c.status);

        const Answer answer = request(access).get();

        EXPECT_EQ(answer.granted, c.granted);
        EXPECT_NE(answer.thread, std::this_thread::get_id());
        EXPECT_EQ(access.pendingRequests(), 0U);
        EXPECT_EQ(access.authorizationStatus(), c.status);
    }
}

TEST(MicrophoneAccessTests, UndecidedRequestsWaitForTheUsersAnswerAndAllReceiveIt) {
    for (const bool granted : {true, false}) {
        MicrophoneAccess access(AuthorizationStatus::notDetermined);
        auto first = request(access);
        auto second = request(access);
        EXPECT_EQ(access.pendingRequests(), 2U);
        EXPECT_EQ(access.authorizationStatus(), AuthorizationStatus::notDetermined);

        access.answer(granted);

        for (auto* answer : {&first, &second}) {
            const Answer received = answer->get();
            EXPECT_EQ(received.granted, granted);
            EXPECT_NE(received.thread, std::this_thread::get_id());
        }
        EXPECT_EQ(access.pendingRequests(), 0U);
        EXPECT_EQ(access.authorizationStatus(),
                  granted ? AuthorizationStatus::authorized : AuthorizationStatus::denied);
        EXPECT_EQ(request(access).get().granted, granted);
    }
}

} // namespace
} // namespace platform::audio
