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
    std::vector<Box> boxes;
    std::vector<FileRequest> openRequests;
    std::vector<FileRequest> saveRequests;
    std::deque<QString> fileAnswers;  // a null string (or none left) = cancel
    QStringList opened;

    void Message(QWidget*, const Box& box) override { boxes.push_back(box); }
    std::optional<QString> OpenFileName(QWidget*, const FileRequest& request) override {
        openRequests.push_back(request);
        return NextAnswer();
    }
    std::optional<QString> SaveFileName(QWidget*, const FileRequest& request) override {
        saveRequests.push_back(request);
        return NextAnswer();
    }
    bool OpenWithDesktop(const QString& path) override {
        opened.push_back(path);
        return desktopOpens;
    }
    bool desktopOpens = true;  // a program to open a page with

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
