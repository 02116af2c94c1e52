#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

#include "form_dialogs.h"

namespace pelvano::test {

// Scripted answers for the window's dialogs, and a record of what it asked
// and what it said.
class FakeDialogs : public gui::FormDialogs {
public:
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<gui::SaveChoice>> saveAnswers;

    QStringList openFilters;
    QStringList openDirs;  // the working directory each open dialog would start in
    std::vector<gui::SaveRequest> saveRequests;
    QStringList saveDirs;
    QStringList errorCaptions;
    QStringList errors;
    QStringList messageCaptions;
    QStringList messages;  // plain message boxes

    std::optional<QString> openFile(QWidget*, const QString& filter) override
    {
        openFilters.append(filter);
        openDirs.append(QDir::currentPath());
        return Next(openAnswers);
    }

    std::optional<gui::SaveChoice> saveFile(QWidget*, const gui::SaveRequest& request) override
    {
        saveRequests.push_back(request);
        saveDirs.append(QDir::currentPath());
        return Next(saveAnswers);
    }

    void showError(QWidget*, const QString& caption, const QString& text) override
    {
        errorCaptions.append(caption);
        errors.append(text);
    }

    void showMessage(QWidget*, const QString& caption, const QString& text) override
    {
        messageCaptions.append(caption);
        messages.append(text);
    }

private:
    // The next scripted answer; none left is a cancelled dialog too.
    template <typename T>
    static std::optional<T> Next(std::deque<std::optional<T>>& answers)
    {
        if (answers.empty())
            return std::nullopt;
        const std::optional<T> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace pelvano::test
