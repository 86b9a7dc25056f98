#include "Mirvo/TextInserter.hpp"

namespace mirvo {

std::shared_ptr<TextInserter> TextInserter::shared;

TextInserter::TextInserter(platform::ui::BinaryMessenger& messenger)
    : ChannelPlugin(messenger, "mirvo/insert_text") {}

} // namespace mirvo
