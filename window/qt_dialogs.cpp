// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qt_dialogs.hpp"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QtGlobal>
#include <algorithm>

#include "core_types/version.hpp"

namespace dz {
namespace {

// Paths travel through the commands as the file system's bytes.
QString from_path(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string to_path(const QString& path) { return QFile::encodeName(path).toStdString(); }

constexpr const char* BUILTIN_HELP = R"HELP(
<h2>Doroziri</h2>
<p>Doroziri designs the outline of a star-shaped polishing lap from the
zone measurements of an optical surface, draws the lap as a half-disc and
saves the outline of one half-leaf. The title bar names the surface file
that is drawn.</p>

<h3>Commands</h3>
<dl>
<dt><b>File &gt; Open</b> (Ctrl+O)</dt>
<dd>Reads a surface file (<i>.srf</i> or <i>.txt</i>), computes the leaf
profile and draws the lap. The efficiency starts again at 100 %; the number
of leaves and the lap type stay as they were. A surface file dropped on the
window is opened the same way.</dd>
<dt><b>File &gt; Reload</b> (F5)</dt>
<dd>Reads the same file again, for a surface tested anew whose file was
overwritten. When the open file changes on disk, a line under the plot
offers <i>Reload</i>; it asks nothing and can be closed or left alone.</dd>
<dt><b>File &gt; Save .dxf</b> (Ctrl+S)</dt>
<dd>Writes the half-leaf outline in millimetres as a Drawing eXchange File
(release 2000 layout): a polyline of one vertex per zone and a caption giving
the lap type, the number of leaves, the first line of the surface file as it
was read and the target values b and R. Numbers are written with a
period.</dd>
<dt><b>File &gt; Save .txt</b> (Ctrl+Shift+S)</dt>
<dd>Writes the plot caption, the header line
<tt>radius, mm&nbsp;x/radius&nbsp;y/radius</tt> and one tab-separated line per
zone: the radius in millimetres and the outline point x and y as fractions of
the outer radius, with the decimal separator of your regional settings.</dd>
<dd>Both saves are greyed out until a lap is drawn, replace an existing file
without asking and end their lines as Windows does (CR LF). A line under the
plot then says where the file went. The half-leaf DXF declares no units and
carries reference lines: a CAM program must be set to millimetres and told to
skip them. To cut the lap, save the lap template instead.</dd>
<dt><b>File &gt; Save lap template&hellip;</b></dt>
<dd>Writes the whole lap at full size, every leaf built whole and the rim,
by the file type chosen: <i>PDF</i> pages to print (one page when the lap
fits, else tiles that overlap by 10&nbsp;mm, with alignment marks and row and
column labels; a 100&nbsp;mm scale bar, on letter paper a 4-inch bar too, and
a title block on every page; A4, or letter in the US and Canada);
<i>SVG</i> at 1:1 for laser and vinyl cutters (each leaf a closed path, what
is cut away shaded grey); <i>DXF</i> in millimetres for CAM programs (each
leaf a closed polyline and the rim a circle on layer CUT, the notes on layer
NOTES).</dd>
<dt><b>File &gt; Print&hellip;</b> (Ctrl+P)</dt>
<dd>Shows the same pages as the PDF in a print preview, from which they are
printed. Print at 100&nbsp;% (actual size, no fitting to the page) and check
the 100&nbsp;mm bar with a ruler before cutting or pressing the lap. Widths
below zero (an efficiency above what the profile allows makes the edges
cross) are drawn as they are, after a message saying so.</dd>
<dt><b>File &gt; Compare with a later test&hellip;</b></dt>
<dd>Learns how fast your lap really wears. Open the test made before a
polishing session, set the lap, the design and the stroke you polished
with, then choose the test made after it (a surface file of the same
mirror) and type the minutes polished between the two. The measured removal
(before minus after, at the earlier test's zones; the piston is free) is
compared with the removal the wear model predicts of the lap. The view of
the predicted removal opens on a tab <i>Later test: measured against
predicted</i> with both curves and the misfit, and says in words the rate
(height units of the file per minute) and the share of the measured removal
the prediction explains, under Preston's law and under the classic matrix,
so that your own data say which model fits your work. From then on the
view gives the polishing time of every design in minutes at that rate. A
later test of another mirror (outer radius more than 2&nbsp;% apart), a zone
outside the later test's radii, a file that does not load or a time of 0
minutes or less is refused with a message, and nothing changes. The
comparison goes with the next change of the lap; the rate stays for the
rest of the run.</dd>
<dt><b>File &gt; Quit</b> (Ctrl+Q)</dt>
<dd>Closes the program, like <b>Exit</b> (Alt+X). Nothing is kept between
runs.</dd>
<dt><b>Help</b> (F1)</dt>
<dd>The first time asks for a help file and shows it in the desktop's
viewer; without a help file this page appears. <i>About</i> below tells the
version and the licence.</dd>
<dt><b># Leaves</b> (click the number)</dt>
<dd>Sets the number of leaves of the lap, from 1 to 999, and redraws. An
empty answer keeps the number.</dd>
<dt><b>% effective</b> (click the number)</dt>
<dd>Sets the efficiency in percent and redraws: below 100 the leaves grow
wider, above 100 narrower. The label shows it rounded to a whole number, so
the efficiency must be at least 0.5 % and less than 999.5 %; Cancel takes the
rounded number shown.</dd>
<dt><b>Lap Type</b></dt>
<dd><i>2/5 Stroke</i> shapes the leaves from the computed profile for a
stroke of 0.2 of the outer radius; <i>Spindle</i> shapes them from the
measured values themselves. Choosing a type sets the efficiency back to
100 %. The choice appears once a file is loaded.</dd>
<dt><b>View &gt; Predicted removal</b> (Ctrl+E, or right-click the plot)</dt>
<dd>Opens a window beside this one with what the lap as drawn would remove
by the program's own wear model: the measured values, the predicted removal
and the residual against the radius, and the figures in words ("RMS 15.3
&rarr; 14.1, 92 % left": the area-weighted RMS of the measured values, of
what would be left, and the share left). The polishing time and a piston are
fitted by area-weighted least squares; the time is never negative. It is
redrawn with every change of the file, the leaves, the efficiency, the lap
type or the design menu. Its words name the wear model and the stroke, and,
once a rate is known (<i>File &gt; Compare with a later test&hellip;</i>),
the minutes of polishing the lap needs. <i>Save as PNG&hellip;</i> writes the chart. It is a guide for
comparing designs and settings, not a promise about a particular
mirror.</dd>
<dt><b>Design &gt; Classic / Least-squares fit</b></dt>
<dd>How the widths of a <i>2/5 Stroke</i> leaf are chosen. <i>Classic</i>
(the default) shapes them from the computed profile. <i>Least-squares
fit</i> chooses the width of every zone, the polishing time and the piston
so that the predicted removal leaves the least area-weighted squared
residual; it is judged by the program's own wear model, the one it was made
with. Each width stays between a floor and the whole pitch: floor =
max(0.10, 1 &minus; efficiency/100), so a lower efficiency keeps more of the
lap (0.20 at 80 %). The outline stays smooth enough to cut: its bending is
held within that of the classic design on the same file, and at least 40,
and free of waves finer than the wear model resolves: the fit adds the
strongest roughness penalty of a fixed ladder that leaves at most 1
percentage point (or 5 % of it, whichever is more) more of the RMS than
the fit without it, and no larger P-V than that fit or the measured
surface. A zone at radius 0, which the area weights ignore, counts in the
fit as the disc it stands for, and its residual is held within 95 % of the
measured P-V of every other zone's (or their measured difference, where
larger).
<i>Spindle</i> laps are always classic. The choice stays across loads; the
plot, the exports and the predicted removal follow it.</dd>
<dt><b>Design &gt; Free focus</b></dt>
<dd>Lets the fit and the predicted removal also take off a term in the
square of the radius: a small change of the radius of curvature that most
mirrors tolerate. Off by default.</dd>
<dt><b>Design &gt; Stroke&hellip;</b></dt>
<dd>How you work the lap, in one dialog: the <i>stroke</i> end to end as a
fraction of the mirror's diameter (0.02 to 1; 0.20 is the classic
&ldquo;2/5 Stroke&rdquo;, the lap's centre travelling 0.2 of the radius
either side), the <i>sideways offset</i> of the stroke's line from the
centre for W-like strokes (0 to 0.5 of the diameter), the <i>lap size</i>
as a fraction of the mirror's diameter (0.3 to 1, 1 a full-size lap) and the
<i>pressure</i>: uniform, or a constant total load that presses harder where
the lap overhangs the edge. <i>Restore Defaults</i> sets the classic
geometry back. The predicted removal and the least-squares fit follow at
once; the classic outline does not change. A value out of range is refused
with a message. The settings stay across loads.</dd>
<dt><b>Design &gt; Wear model</b></dt>
<dd><i>Preston's law</i> (the default): removal = pressure &times; sliding
path, the leaves acting through their width, for the stroke set above.
<i>Classic zone wear matrix</i>: the classic computation's count of how
often a lap ring crosses a zone, kept so that its figures can be
reproduced; it over-wears the centre. The predicted removal, its words and
the fit follow the choice, which stays across loads.</dd>
<dt><b>Plot Caption</b> (click the caption under the plot)</dt>
<dd>Changes the caption shown and written as the first line of the .txt
file. The .dxf caption keeps the first line of the surface file.</dd>
</dl>
<p>Without a mouse: Tab goes from the lap type to Exit, then to the number
of leaves, the efficiency and the caption; Enter or Space changes the value
that has the focus.</p>

<h3>The surface file</h3>
<p>A text file of lines:</p>
<ol>
<li>the caption of the plot;</li>
<li>not read;</li>
<li>the target parameter b (the first number of the line);</li>
<li>the target parameter R (the first number of the line);</li>
<li>not read;</li>
<li>and every further line: one zone, three numbers separated by spaces or
tabs: the zone radius in millimetres, a number that is not used, and the
measured value of the zone.</li>
</ol>
<p>The last line's zone is the outer edge of the lap. Numbers use the
decimal separator of your regional settings. At most 500 zones are read;
blank lines are skipped.</p>
<p>A FIFO or a device is not read, and a file saved as UTF-16 is refused:
save it as plain text. Zone radii that are negative, beyond the last zone's,
repeated or out of order, and a Ctrl-Z before the last line, are read as
they stand; a warning line under the plot caption names the first such
line.</p>
<h3>Saving</h3>
<p>A saved file replaces the old one only once it is complete: it is written
to a temporary file <i>.NAME.doroziri-XXXXXX.tmp</i> beside it, which a
failed save removes, so the old file stays as it was. The surface file that
was read cannot be saved over.</p>
<p>A file can also be opened by naming it on the command line:
<tt>doroziri mirror</tt> opens <i>mirror.srf</i>. The command-line tool
<tt>doroziri-cli</tt> makes the same exports without a window
(<tt>doroziri-cli --help</tt>).</p>

<h3>Bad input</h3>
<ul>
<li>A file that cannot be read: its name followed by "not found, try
again."; nothing changes.</li>
<li>A third line without a number: "ERROR reading this line, expected b
value (probably wrong file)" with the line; the file is not loaded.</li>
<li>A word where a number belongs on the fourth line or a zone line, a zone
line with fewer than three numbers, more than 500 zones, or values the
computation cannot solve ("INFO =", "SPLINE INFO ="): a message, and the lap
drawn before stays.</li>
<li>A number written with the other decimal separator (87.5 where your
regional settings ask for 87,5) is refused like any word; the message then
says which separator your settings ask for.</li>
<li>A typed value that is not a number, or out of the range above: a message,
and the value stays as it was.</li>
</ul>
)HELP";

// Beside the title's text, a title bar holds an icon and three buttons.
constexpr int PROMPT_TITLE_EXTRA = 160;
// Beside a text: the dialog's margins and the line edit's frame.
constexpr int PROMPT_TEXT_EXTRA = 60;
// The dialog's margins on both sides of its line edit.
constexpr int PROMPT_MARGINS = 40;

// The About box, not modal, over the help window.
void show_about(QWidget* parent) {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("About ") + QString::fromLatin1(APP_TITLE),
                                about_text(), QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("ABOUT"));
    box->setTextFormat(Qt::RichText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

}  // namespace

QString about_text() {
    return QStringLiteral("<h3>%1 %2</h3>"
                          "<p>Designs the leaves of a star-shaped polishing lap from the zone measurements "
                          "of an optical surface.</p>"
                          "<p>Licence: GPL-3.0-or-later, the GNU General Public License, version 3 or "
                          "(at your option) any later version. There is no warranty.</p>"
                          "<p>Qt %3 (built with Qt %4)</p>")
        .arg(QString::fromLatin1(APP_TITLE), QString::fromLatin1(DOROZIRI_VERSION), QString::fromLatin1(qVersion()),
             QStringLiteral(QT_VERSION_STR));
}

QStringList qt_name_filters(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    if (filter.empty()) return filters;
    for (qsizetype k = 0; k + 1 < parts.size(); k += 2) {
        QStringList patterns = parts[k + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        filters << parts[k] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

int prompt_width(const QString& caption, const QString& text, const QString& default_text, const QFont& font,
                 const QFont& title_font, int screen_width) {
    const QFontMetrics metrics(font);
    const int wanted = std::max({QFontMetrics(title_font).horizontalAdvance(caption) + PROMPT_TITLE_EXTRA,
                                 metrics.horizontalAdvance(text) + PROMPT_TEXT_EXTRA,
                                 metrics.horizontalAdvance(default_text) + PROMPT_TEXT_EXTRA});
    return std::min(wanted, screen_width * 9 / 10);
}

std::string QtDialogs::prompt(const std::string& caption, const std::string& text,
                              const std::string& default_text) {
    QInputDialog dialog(parent_);
    dialog.setObjectName(QStringLiteral("PROMPT"));
    dialog.setInputMode(QInputDialog::TextInput);
    const QString title = QString::fromStdString(caption);
    const QString label = QString::fromStdString(text);
    const QString value = QString::fromStdString(default_text);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(value);
    // Wide enough for its title bar and for the whole default answer (a long
    // caption), within the screen.
    const QScreen* screen = parent_ != nullptr ? parent_->screen() : QGuiApplication::primaryScreen();
    const int screen_width = screen != nullptr ? screen->availableGeometry().width() : 1024;
    // The dialog's layout sets its size from its fields, so the line edit is
    // what is widened.
    const int width =
        prompt_width(title, label, value, dialog.font(), QApplication::font("QMdiSubWindowTitleBar"), screen_width);
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMinimumWidth(width - PROMPT_MARGINS);
    const bool ok = dialog.exec() == QDialog::Accepted;
    return ok ? dialog.textValue().toStdString() : default_text;
}

void QtDialogs::message(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(APP_TITLE), QString::fromStdString(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::run_file_dialog(FileDialogSettings& settings, std::string& folder, bool save) {
    QFileDialog dialog(parent_, QString::fromStdString(settings.title), from_path(folder));
    // The descriptions carry their patterns already; Qt's copy stays hidden.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A typed name that does not exist reaches the command, which reports it.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);

    const QStringList filters = qt_name_filters(settings.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (settings.filter_index >= 0 && settings.filter_index < filters.size()) {
            dialog.selectNameFilter(filters[settings.filter_index]);
        }
    }
    if (!settings.file_name.empty()) dialog.selectFile(from_path(settings.file_name));

    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    settings.file_name = to_path(chosen.first());
    // The dialog names the chosen filter in full or, with the details hidden,
    // by its description alone.
    const QString selected = dialog.selectedNameFilter();
    for (qsizetype k = 0; k < filters.size(); ++k) {
        if (filters[k] == selected || filters[k].left(filters[k].lastIndexOf(QLatin1String(" ("))) == selected) {
            settings.filter_index = static_cast<int>(k);
            break;
        }
    }
    folder = to_path(QFileInfo(chosen.first()).absolutePath());
    return true;
}

bool QtDialogs::open_dialog(FileDialogSettings& dialog, std::string& folder) {
    return run_file_dialog(dialog, folder, false);
}

bool QtDialogs::save_dialog(FileDialogSettings& dialog, std::string& folder) {
    return run_file_dialog(dialog, folder, true);
}

namespace {

// A spin box for a fraction from `low` to `high` in steps of `step`, two
// decimals, with `suffix` after the number.
QDoubleSpinBox* fraction_box(QWidget* parent, const char* name, double low, double high, double step,
                             double value, const QString& suffix) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setDecimals(2);
    box->setRange(low, high);
    box->setSingleStep(step);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setAccelerated(true);
    box->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return box;
}

}  // namespace

bool QtDialogs::stroke_dialog(WearSettings& settings) {
    QDialog dialog(parent_);
    dialog.setObjectName(QStringLiteral("STROKE_DIALOG"));
    dialog.setWindowTitle(QStringLiteral("Stroke"));
    auto* intro = new QLabel(QStringLiteral("How the lap is worked: the predicted removal and the least-squares "
                                            "fit follow these values. Lengths are fractions of the mirror's "
                                            "diameter; the classic \u201C2/5 Stroke\u201D is 0.20 end to end."),
                             &dialog);
    intro->setWordWrap(true);
    const QString of_diameter = QStringLiteral(" of the diameter");
    QDoubleSpinBox* stroke =
        fraction_box(&dialog, "STROKE", MIN_STROKE, MAX_STROKE, 0.05, settings.stroke, of_diameter);
    stroke->setToolTip(QStringLiteral("The lap's centre travels this far from one end of the stroke to the other"));
    QDoubleSpinBox* offset =
        fraction_box(&dialog, "STROKE_OFFSET", 0, MAX_STROKE_OFFSET, 0.01, settings.offset, of_diameter);
    offset->setToolTip(QStringLiteral("Sideways distance of the stroke's line from the mirror's centre "
                                      "(W-like strokes); 0 goes through the centre"));
    QDoubleSpinBox* lap =
        fraction_box(&dialog, "LAP_SIZE", MIN_LAP_SIZE, MAX_LAP_SIZE, 0.05, settings.lap_size,
                     QStringLiteral(" of the mirror's diameter"));
    lap->setToolTip(QStringLiteral("The lap's diameter; 1 is a full-size lap"));
    auto* pressure = new QComboBox(&dialog);
    pressure->setObjectName(QStringLiteral("PRESSURE"));
    pressure->addItem(QStringLiteral("Uniform"));
    pressure->addItem(QStringLiteral("Constant total load"));
    pressure->setCurrentIndex(settings.pressure == PressureModel::load ? 1 : 0);
    pressure->setToolTip(QStringLiteral("Uniform: the same pressure wherever the lap touches. Constant total load: "
                                        "where the lap overhangs the edge, the rest of it presses harder"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Stroke, end to end:"), stroke);
    form->addRow(QStringLiteral("Sideways &offset:"), offset);
    form->addRow(QStringLiteral("&Lap size:"), lap);
    form->addRow(QStringLiteral("&Pressure:"), pressure);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, &dialog, [=] {
        const WearSettings classic;
        stroke->setValue(classic.stroke);
        offset->setValue(classic.offset);
        lap->setValue(classic.lap_size);
        pressure->setCurrentIndex(0);
    });
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(420);
    stroke->setFocus();
    stroke->selectAll();

    if (dialog.exec() != QDialog::Accepted) return false;
    settings.stroke = stroke->value();
    settings.offset = offset->value();
    settings.lap_size = lap->value();
    settings.pressure = pressure->currentIndex() == 1 ? PressureModel::load : PressureModel::uniform;
    return true;
}

bool QtDialogs::open_help(const std::string& path) {
    const QFileInfo file(from_path(path));
    return file.isFile() && QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

void QtDialogs::show_builtin_help() {
    if (!help_window_) {
        auto* window = new QDialog(parent_);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QString::fromLatin1(APP_TITLE) + QStringLiteral(" Help"));
        window->setObjectName(QStringLiteral("BUILTIN_HELP"));
        auto* text = new QTextBrowser(window);
        text->setHtml(QString::fromUtf8(BUILTIN_HELP));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
        QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
        QPushButton* about = buttons->addButton(QStringLiteral("About"), QDialogButtonBox::ActionRole);
        about->setObjectName(QStringLiteral("ABOUT_BUTTON"));
        QObject::connect(about, &QPushButton::clicked, window, [window] { show_about(window); });
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(text);
        layout->addWidget(buttons);
        window->resize(560, 520);
        help_window_ = window;
    }
    help_window_->show();
    help_window_->raise();
    help_window_->activateWindow();
}

}  // namespace dz
