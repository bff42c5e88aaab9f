// Message boxes: the question or notice shown to the user, answered with a button code.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace platform {

// Button sets and icons (combined with |).
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};

// Answers.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual int Show(const std::string& text, unsigned type) = 0;
};

// The first button of a button set, which a box without a user answers with.
int DefaultAnswer(unsigned type);

// The message box in use: without a window layer, texts go to standard error and every
// question is answered with its first button.
IMessageBox& MessageBox();
// Installs a message box (not owned); nullptr restores the plain one.
void SetMessageBox(IMessageBox* box);

// A scripted message box for tests: records every text and answers from a queue (the first
// button when the queue is empty).
class FakeMessageBox : public IMessageBox {
public:
    int Show(const std::string& text, unsigned type) override
    {
        m_shown.push_back(text);
        m_types.push_back(type);
        if (m_answers.empty())
            return DefaultAnswer(type);
        const int a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    void QueueAnswer(int answer) { m_answers.push_back(answer); }
    const std::vector<std::string>& Shown() const { return m_shown; }
    const std::vector<unsigned>& Types() const { return m_types; }
    void Clear()
    {
        m_shown.clear();
        m_types.clear();
        m_answers.clear();
    }

private:
    std::deque<int> m_answers;
    std::vector<std::string> m_shown;
    std::vector<unsigned> m_types;
};

} // namespace platform

// Shows a message box with the text and the button/icon type; returns the button pressed.
int ShowMessage(const std::string& text, unsigned type = platform::MB_OK);
