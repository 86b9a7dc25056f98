#include "Mirvo/HotkeyGesture.hpp"

namespace mirvo {

HotkeyAction HotkeyGesture::down(bool chord) {
    if (isBindingDown) {
        return HotkeyAction::none;
    }
    isBindingDown = true;
    spaceSeenThisPress = chord;
    if (!isRecording) {
        stoppedOnThisPress = false;
        wasLockedBeforePress = false;
        isRecording = true;
        mode = chord ? lockedMode : pushToTalkMode;
        return HotkeyAction::start;
    }
    if (!isInMode(lockedMode)) {
        // A push-to-talk recording (a short release still waiting for confirmation) or one in no known mode.
        return stopOnThisPress();
    }
    wasLockedBeforePress = true;
    // Without a chord the release decides: a plain press and release stops, a press with space does not.
    return chord ? stopOnThisPress() : HotkeyAction::none;
}

HotkeyAction HotkeyGesture::spaceDown() {
    if (isBindingDown) {
        spaceSeenThisPress = true;
    }
    if (isRecording && isInMode(pushToTalkMode)) {
        mode = lockedMode;
        spaceSeenThisPress = true;
        return HotkeyAction::lock;
    }
    if (isBindingDown && wasLockedBeforePress && isInMode(lockedMode)) {
        return stopOnThisPress();
    }
    return HotkeyAction::none;
}

HotkeyAction HotkeyGesture::up() {
    if (!isBindingDown) {
        return HotkeyAction::none;
    }
    isBindingDown = false;
    if (stoppedOnThisPress) {
        stoppedOnThisPress = false;
        wasLockedBeforePress = false;
        spaceSeenThisPress = false;
        return HotkeyAction::none;
    }
    if (wasLockedBeforePress && !spaceSeenThisPress) {
        isRecording = false;
        mode.reset();
        wasLockedBeforePress = false;
        return HotkeyAction::stop;
    }
    if (isInMode(lockedMode)) {
        wasLockedBeforePress = false;
        spaceSeenThisPress = false;
        return HotkeyAction::none;
    }
    return isInMode(pushToTalkMode) ? HotkeyAction::releasePending : HotkeyAction::none;
}

HotkeyAction HotkeyGesture::confirmRelease() {
    if (isBindingDown || !isRecording || !isInMode(pushToTalkMode)) {
        return HotkeyAction::none;
    }
    isRecording = false;
    mode.reset();
    return HotkeyAction::stop;
}

HotkeyAction HotkeyGesture::stopOnThisPress() {
    isRecording = false;
    mode.reset();
    stoppedOnThisPress = true;
    wasLockedBeforePress = false;
    return HotkeyAction::stop;
}

} // namespace mirvo
