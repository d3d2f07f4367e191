// The schedule of a user's synchronizations, as a setting of the HotSync
// window: off, every few hours, or every day at a time. It puts the same
// systemd timer in place as hotsync schedule, and says what came of it.
#pragma once
#include <QDialog>

#include <string>

#include "hotsync/SyncSchedule.h"

class QLabel;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

class CScheduleDialog final : public QDialog {
public:
    CScheduleDialog(std::string home, const QString& user, const QString& handheld, QWidget* parent = nullptr);

    // What the controls say now.
    CSyncSchedule::When Chosen() const;
    void Choose(const CSyncSchedule::When& when);
    // Puts the choice in place; the text says how it went.
    CSyncSchedule::Result Apply() const;
    // The hotsync the service runs: beside this program unless set.
    void SetProgram(const std::string& hotsync) { m_Program = hotsync; }

    void accept() override;

private:
    std::string m_Home;
    std::string m_User, m_Handheld, m_Program;
    QRadioButton* m_Off;
    QRadioButton* m_Every;
    QRadioButton* m_Daily;
    QSpinBox* m_Hours;
    QTimeEdit* m_At;
    QLabel* m_Current;
};
