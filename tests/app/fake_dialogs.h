#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

#include "app/dialogs.h"

namespace kelvara::test {

// Records every box and dialog the window asks for and answers from a script.
class FakeDialogs final : public Dialogs {
  public:
    struct Box {
        QString text;
        QString title;
        Icon icon;
        QString details;
    };
    struct FileRequest {
        QString title;
        FileFilters filters;
        QString initialPath;
    };

    std::vector<Box> boxes;
    std::vector<FileRequest> openRequests;
    std::vector<FileRequest> saveRequests;
    std::deque<QString> fileAnswers;  // a null string (or none left) = cancel
    QStringList opened;

    void Message(QWidget*, const QString& text, const QString& title, Icon icon,
                 const QString& details) override {
        boxes.push_back({text, title, icon, details});
    }
    std::optional<QString> OpenFileName(QWidget*, const QString& title, const FileFilters& filters,
                                        const QString& initialPath) override {
        openRequests.push_back({title, filters, initialPath});
        return NextAnswer();
    }
    std::optional<QString> SaveFileName(QWidget*, const QString& title, const FileFilters& filters,
                                        const QString& initialPath) override {
        saveRequests.push_back({title, filters, initialPath});
        return NextAnswer();
    }
    void OpenWithDesktop(const QString& path) override { opened.push_back(path); }

  private:
    std::optional<QString> NextAnswer() {
        if (fileAnswers.empty()) return std::nullopt;
        const QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        if (answer.isNull()) return std::nullopt;
        return answer;
    }
};

}  // namespace kelvara::test

#include <cstddef>
#include <utility>

#include "simulation/random.h"

namespace kelvara::test {

// Plays back a fixed list of draws, round and round.
class ScriptedRandom final : public RandomSource {
  public:
    explicit ScriptedRandom(std::vector<double> draws) : draws_(std::move(draws)) {}
    void Reseed() override {}
    double Next() override { return draws_[next_++ % draws_.size()]; }

  private:
    std::vector<double> draws_;
    std::size_t next_ = 0;
};

}  // namespace kelvara::test
