#pragma once

#include <cstdint>
#include <string_view>

// Names, folders and limits shared by the Kokoro synthesiser and its text front end. Each asset has a local
// and a remote name, equal today: local paths are built from the local one, hub paths from the remote one.
namespace quorl::KokoroAneConstants {

inline constexpr std::string_view defaultVoice = "af_heart";
inline constexpr std::string_view defaultVoiceMandarin = "zf_001";
inline constexpr std::string_view defaultVoiceJapanese = "jf_alpha";

// Hz.
inline constexpr int sampleRate = 24000;
// The ids that frame every token sequence.
inline constexpr std::int32_t bosTokenId = 0;
inline constexpr std::int32_t eosTokenId = 0;
// Phoneme characters in one token sequence; also the chunk length for long input.
inline constexpr int maxPhonemeLength = 510;
// maxPhonemeLength plus the two framing ids.
inline constexpr int maxInputTokens = 512;
inline constexpr int voicePackRows = 510;
inline constexpr int voicePackCols = 256;
// Acoustic frames one synthesis chunk may produce.
inline constexpr int maxAcousticFrames = 2000;
inline constexpr float defaultSpeed = 1.0F;

// The pinyin dictionaries and the Jieba tables of the Mandarin front end.
inline constexpr std::string_view g2pSubdir = "g2p";
inline constexpr std::string_view g2pRemoteRepo = "ZirazEvavirivi/kokoro-82m-coreml";
inline constexpr std::string_view g2pRemoteSubdir = "ANE-zh/assets";
inline constexpr std::string_view g2pPinyinSingleFile = "pinyin_single.bin";
inline constexpr std::string_view g2pPinyinSingleRemoteFile = "pinyin_single.bin";
inline constexpr std::string_view g2pPinyinPhrasesFile = "pinyin_phrases.bin";
inline constexpr std::string_view g2pPinyinPhrasesRemoteFile = "pinyin_phrases.bin";
inline constexpr std::string_view jiebaHmmStartFile = "jieba_hmm_start.bin";
inline constexpr std::string_view jiebaHmmStartRemoteFile = "jieba_hmm_start.bin";
inline constexpr std::string_view jiebaHmmTransFile = "jieba_hmm_trans.bin";
inline constexpr std::string_view jiebaHmmTransRemoteFile = "jieba_hmm_trans.bin";
inline constexpr std::string_view jiebaHmmEmitFile = "jieba_hmm_emit.bin";
inline constexpr std::string_view jiebaHmmEmitRemoteFile = "jieba_hmm_emit.bin";

// The Mandarin polyphone model and its two text files.
inline constexpr std::string_view g2pwSubdir = "g2pw";
inline constexpr std::string_view g2pwRemoteSubdir = "ANE-zh/g2pw";
inline constexpr std::string_view g2pwModelBundle = "g2pw.mlmodelc";
inline constexpr std::string_view g2pwVocabFile = "vocab.txt";
inline constexpr std::string_view g2pwVocabRemoteFile = "vocab.txt";
inline constexpr std::string_view g2pwPolyphonicCharsFile = "POLYPHONIC_CHARS.txt";
inline constexpr std::string_view g2pwPolyphonicCharsRemoteFile = "POLYPHONIC_CHARS.txt";

} // namespace quorl::KokoroAneConstants
