// Shared by the tests of the Qt code: one application object for the whole test program, and the texts
// the prompts seam showed (message boxes, questions, dialogs, opened links) of one kind.
#pragma once

#include "shell/ui/prompts.h"

#include <QApplication>
#include <QStandardPaths>

#include <vector>

namespace testing_support {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "quorbit_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        QStandardPaths::setTestModeEnabled(true);
        new QApplication(argc, argv);
    }
}

inline std::vector<QString> Shown(Prompts::Kind kind) {
    std::vector<QString> texts;
    for (const auto& shown : Prompts::Get().History()) {
        if (shown.kind == kind)
            texts.push_back(shown.text);
    }
    return texts;
}

} // namespace testing_support
