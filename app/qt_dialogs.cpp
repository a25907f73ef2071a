#include "app/qt_dialogs.hpp"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace dz {
namespace {

// Paths travel through the commands as the file system's bytes.
QString from_path(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string to_path(const QString& path) { return QFile::encodeName(path).toStdString(); }

constexpr const char* BUILTIN_HELP = R"(
<h2>Doroziri</h2>
<p>Doroziri designs the outline of a star-shaped polishing lap from the
zone measurements of an optical surface, draws the lap as a half-disc and
saves the outline of one half-leaf.</p>

<h3>Commands</h3>
<dl>
<dt><b>File &gt; Open</b></dt>
<dd>Reads a surface file (<i>.srf</i> or <i>.txt</i>), computes the leaf
profile and draws the lap. The efficiency starts again at 100 %; the number
of leaves and the lap type stay as they were.</dd>
<dt><b>File &gt; Save .dxf</b></dt>
<dd>Writes the half-leaf outline in millimetres as a Drawing eXchange File,
with a caption giving the lap type, the number of leaves, the plot caption
of the file and the target values.</dd>
<dt><b>File &gt; Save .txt</b></dt>
<dd>Writes the plot caption, a header line and one tab-separated line per
zone: the radius in millimetres and the outline point x and y as fractions of
the outer radius.</dd>
<dt><b>Help</b></dt>
<dd>The first time asks for a help file and shows it in the desktop's
viewer; without a help file this page appears.</dd>
<dt><b># Leaves</b> (click the number)</dt>
<dd>Sets the number of leaves of the lap and redraws. An empty answer keeps
the number.</dd>
<dt><b>% effective</b> (click the number)</dt>
<dd>Sets the efficiency in percent and redraws: below 100 the leaves grow
wider, above 100 narrower.</dd>
<dt><b>Lap Type</b></dt>
<dd><i>2/5 Stroke</i> shapes the leaves from the computed profile for a
stroke of 0.2 of the outer radius; <i>Spindle</i> shapes them from the
measured values themselves. Choosing a type sets the efficiency back to
100 %.</dd>
<dt><b>Plot Caption</b> (click the caption under the plot)</dt>
<dd>Changes the caption; both saved files use the new caption.</dd>
<dt><b>Exit</b> (Alt+X)</dt>
<dd>Closes the program. Nothing is kept between runs.</dd>
</dl>

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
decimal separator of your regional settings. At most 500 zones are read.</p>
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
<tt>doroziri mirror</tt> opens <i>mirror.srf</i>.</p>
)";

}  // namespace

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

std::string QtDialogs::prompt(const std::string& caption, const std::string& text,
                              const std::string& default_text) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent_, QString::fromStdString(caption), QString::fromStdString(text),
                              QLineEdit::Normal, QString::fromStdString(default_text), &ok);
    return ok ? answer.toStdString() : default_text;
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
