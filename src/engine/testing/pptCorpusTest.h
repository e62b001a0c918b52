#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/base/presentationText.h"
#include "platform/files/fileSystem.h"

/// Tests of the public binary presentations made by other programs; they skip where the files
/// are absent.
class TPptCorpusTest : public ::testing::Test {
  protected:
    static inline const std::string kCorpus = QUILLON_PUBLIC_CORPUS "/poi/";

    void SetUp() override {
        if (!DirectoryExists(kCorpus)) GTEST_SKIP() << "no public corpus at " << kCorpus;
    }
    static std::string Bytes(const std::string& name) {
        return ReadFileBytes(kCorpus + name, 64u << 20);
    }
    static std::string AllText(const ThvPresentationText& deck) {
        std::string text;
        for (const auto& slide : deck.Slides) {
            text += slide.Title + "\n";
            for (const auto& p : slide.Body) text += p.Text + "\n";
        }
        return text;
    }
};
