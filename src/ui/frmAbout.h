#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

namespace quorvane {

inline constexpr char kAboutCaption[] = "About";
inline constexpr char kAboutProgramName[] = "Quorvane";
inline constexpr char kAboutDescription[] =
    "This program analyses EXE, DLL and OCX files to determine their external dependencies and "
    "validates these against the system on which the application is installed.";
inline constexpr char kAboutCopyright[] = "Copyright \u00a9 2026 the Quorvane developers.";
inline constexpr char kAboutWarning[] =
    "Warning: this program is protected by copyright law. It comes as is, without warranty of "
    "any kind. Copying or passing it on, in whole or in part, other than as its licence allows "
    "is not permitted.";

/// The About box: the program's name, what it does, and its legal notices. A fixed, modal
/// window; "OK" or the title bar's close button closes it, Escape does not.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget *owner = nullptr);

    /// Creates the About box, shows it modally centred on owner, and destroys it when it closes.
    static void ShowModal(QWidget *owner);

    QLabel *Image1 = nullptr;
    QLabel *lblQuorvane = nullptr;
    QGroupBox *fraDescription = nullptr;
    QLabel *lblDescription = nullptr;
    QGroupBox *fraCopyright = nullptr;
    QLabel *lblCopyright = nullptr;
    QLabel *lblWarning = nullptr;
    QPushButton *butOK = nullptr;

public slots:
    /// The title bar's close button ends up here: it acts as "OK".
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void butOK_Click();
};

} // namespace quorvane
