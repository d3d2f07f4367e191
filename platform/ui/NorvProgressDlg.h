// The progress dialog of a synchronization: dialog 129 laid out in dialog
// units converted with its font's metrics, the cycling icon, the endless
// animation, bitmap 130 drawn with white as its transparent colour, and the
// "Abandon" button. It lives on the GUI thread; other threads reach it through
// the GUI queue, except for the cancel flag, which they read directly.
#pragma once
#include <QDialog>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include <atomic>

#include "seam/Window.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class CNorvProgressDlg final : public QDialog {
public:
    // Control ids of the resource; each control's object name is "ctl<id>".
    enum : int {
        kStatus1 = 1001,
        kBitmapPlace = 1002,
        kBar1 = 1003,
        kAbandon = 1004,
        kIcon = 1005,
        kBar2 = 1006,
        kStatus2 = 1007,
        kAnimation = 1008,
    };
    static constexpr int kWidthUnits = 206;
    static constexpr int kHeightUnits = 162;
    static constexpr int kIconTimerId = 1;
    static constexpr int kIconPeriodMs = 250;
    static constexpr DWORD kDataMessageSize = 260;

    explicit CNorvProgressDlg(QWidget* parent = nullptr);
    ~CNorvProgressDlg() override;

    // A rectangle of the resource, in pixels of the dialog's font.
    QRect FromDialogUnits(const QRect& units) const;

    void SetStatus1(const QString& text);
    void SetStatus2(const QString& text);
    void SetRange1(long low, long high);
    void SetRange2(long low, long high);
    void SetPos1(long position);
    void SetPos2(long position);
    void ShowBar1(bool show);
    void ShowBar2(bool show);
    // Centres the dialog on its screen, shows it above the others and paints it at once.
    void ShowCentred();

    bool IsCancelled() const { return m_Cancel.load(); }
    // False also enables "Abandon" again.
    void SetCancel(bool cancelled);
    // What "Abandon" does: the flag set, the button disabled.
    void OnAbandon();

    // The data message: exactly 260 bytes, kind 1 or 2 then a zero-ended
    // text, sets status line 1 and pauses 100 or 300 ms. 1 when used.
    LRESULT OnCopyData(const COPYDATASTRUCT& data);
    // What the icon timer does: shows the icon of the index, then advances it.
    void OnTimer();
    // The icon resource shown now (133 to 138), and the index of the next one.
    int CurrentIcon() const { return m_ShownIcon; }
    int IconIndex() const { return m_IconIndex; }
    int AnimationFrame() const { return m_Frame; }
    // The picture of bitmap 130 as painted: white already transparent.
    const QImage& Bitmap() const { return m_Bitmap; }
    QRect BitmapRect() const { return m_BitmapRect; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    // Enter and Escape must not remove a dialog the run still holds.
    void accept() override {}
    void reject() override { OnAbandon(); }

private:
    QLabel* AddLabel(int id, const QRect& units, const QString& text);
    QProgressBar* AddBar(int id, const QRect& units);
    void AddFrame(const QRect& units, bool etched);
    void NextFrame();

    std::atomic<bool> m_Cancel{false};
    int m_IconIndex = 0;
    int m_ShownIcon = 0;
    int m_Frame = 0;
    int m_IconTimer = 0;
    QFont m_DialogFont;
    QRect m_BitmapRect;
    QImage m_Bitmap;
    QLabel* m_Status1 = nullptr;
    QLabel* m_Status2 = nullptr;
    QProgressBar* m_Bar1 = nullptr;
    QProgressBar* m_Bar2 = nullptr;
    QPushButton* m_Abandon = nullptr;
    QLabel* m_IconLabel = nullptr;
    QLabel* m_Animation = nullptr;
    QTimer* m_AnimationTimer = nullptr;
};
