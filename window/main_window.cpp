// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window.hpp"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "window/commands.hpp"
#include "render/qt_canvas.hpp"
#include "window/qt_dialogs.hpp"
#include "window/removal_view.hpp"
#include "window/template_print.hpp"
#include "drawing/lap_plot.hpp"
#include "text_io/locale_separator.hpp"

namespace dz {
namespace {

// Menu items of which one is checked at a time, the first to start with.
void radio_items(QObject* owner, std::initializer_list<QAction*> items) {
    auto* group = new QActionGroup(owner);
    group->setExclusive(true);
    for (QAction* item : items) {
        item->setCheckable(true);
        group->addAction(item);
    }
    (*items.begin())->setChecked(true);
}

// The designed client area below the menu bar: the outer frame of 700 x 517
// less the borders, the title bar and the menu bar of the designed platform.
constexpr int CLIENT_WIDTH = 692;
constexpr int CLIENT_HEIGHT = 470;

// The notice line below the caption, in the room the designed client area
// leaves there; hidden until there is something to say.
constexpr QRect NOTICE_GEOMETRY(20, 448, 641, 21);
// How long the confirmation of a save stays.
constexpr int SAVED_NOTICE_MS = 8000;

// A label that runs a command when clicked, or when it has the keyboard
// focus (reached with Tab) and Enter or Space is pressed. It looks as
// designed until it has the focus, which a dotted frame then shows.
class ClickLabel final : public QLabel {
public:
    ClickLabel(const QString& text, QWidget* parent, const char* tool_tip, std::function<void()> on_click)
        : QLabel(text, parent), on_click_(std::move(on_click)) {
        setCursor(Qt::PointingHandCursor);
        setToolTip(QString::fromLatin1(tool_tip));
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) on_click_();
        QLabel::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
            (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            on_click_();
            return;
        }
        QLabel::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (!hasFocus()) return;
        QPainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }

private:
    std::function<void()> on_click_;
};

QFont sized_font(const QFont& base, int pixels) {
    QFont font = base;
    font.setPixelSize(pixels);
    return font;
}

// A label at its designed place; `white` gives it an opaque white background.
template <class Label, class... Extra>
Label* place_label(QWidget* parent, const char* name, const QString& text, QRect geometry, bool white,
                   Extra&&... extra) {
    auto* label = new Label(text, parent, std::forward<Extra>(extra)...);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    if (white) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::white);
        label->setPalette(palette);
        label->setAutoFillBackground(true);
    }
    return label;
}

// The shortcuts of an action: `shown` first, the one the menu shows on
// every desktop, then what the desktop itself binds to `standard` (Refresh is
// Ctrl+R on some).
QList<QKeySequence> shortcuts(const QKeySequence& shown, QKeySequence::StandardKey standard) {
    QList<QKeySequence> keys{shown};
    for (const QKeySequence& other : QKeySequence::keyBindings(standard)) {
        if (!keys.contains(other)) keys.append(other);
    }
    return keys;
}

}  // namespace

// One line of text with an optional action button and a close button; it
// asks for nothing, so it never stands in the way of a prompt.
class Notice final : public QWidget {
public:
    explicit Notice(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("NOTICE"));
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, QColor(255, 255, 225));
        setPalette(colours);
        QFont small = parent->font();
        small.setBold(false);
        small.setPixelSize(12);
        setFont(small);
        text_ = new QLabel(this);
        text_->setObjectName(QStringLiteral("NOTICE_TEXT"));
        action_ = new QPushButton(this);
        action_->setObjectName(QStringLiteral("NOTICE_ACTION"));
        auto* close = new QToolButton(this);
        close->setObjectName(QStringLiteral("NOTICE_CLOSE"));
        close->setText(QStringLiteral("\u00D7"));
        close->setToolTip(QStringLiteral("Close this notice"));
        close->setAutoRaise(true);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(6, 0, 0, 0);
        row->setSpacing(4);
        row->addWidget(text_, 1);
        row->addWidget(action_);
        row->addWidget(close);
        connect(action_, &QPushButton::clicked, this, [this] {
            hide();
            if (on_action_) on_action_();
        });
        connect(close, &QToolButton::clicked, this, &QWidget::hide);
        hide_timer_.setSingleShot(true);
        connect(&hide_timer_, &QTimer::timeout, this, &QWidget::hide);
        hide();
    }

    // Shows `text` (shortened in the middle when too long), with a button
    // labelled `action` that runs `on_action` when `action` is not empty. A
    // notice without a button goes away by itself after `lasts_ms`.
    // `about` names the file the notice concerns (empty: none).
    void show_text(const QString& text, const QString& action = {}, std::function<void()> on_action = {},
                   int lasts_ms = 0, const QString& about = {}) {
        about_ = about;
        on_action_ = std::move(on_action);
        action_->setText(action);
        action_->setVisible(!action.isEmpty());
        full_text_ = text;
        text_->setToolTip(text);
        show();
        layout()->activate();
        const int room = std::max(40, text_->width());
        text_->setText(text_->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
        if (lasts_ms > 0) {
            hide_timer_.start(lasts_ms);
        } else {
            hide_timer_.stop();
        }
        raise();
    }

    [[nodiscard]] const QString& text() const { return full_text_; }
    [[nodiscard]] const QString& about() const { return about_; }

private:
    QString about_;
    QLabel* text_ = nullptr;
    QPushButton* action_ = nullptr;
    QString full_text_;
    std::function<void()> on_action_;
    QTimer hide_timer_;
};

QString window_title(const std::string& surface_path) {
    const QString title = QString::fromLatin1(APP_TITLE);
    if (surface_path.empty()) return title;
    const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(surface_path))).fileName();
    return name + QStringLiteral(" \u2014 ") + title;
}

TFORM1::TFORM1(const QStringList& arguments, Dialogs* dialogs) : decimal_separator_(locale_decimal_separator()) {
    if (dialogs == nullptr) {
        own_dialogs_ = std::make_unique<QtDialogs>(this);
        dialogs = own_dialogs_.get();
    }
    dialogs_ = dialogs;

    setObjectName(QStringLiteral("FORM1"));
    setWindowTitle(QString::fromLatin1(APP_TITLE));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("doroziri")));
    // The designed serif is not found on every desktop; a serif of the same
    // metrics stands in for it.
    QFont::insertSubstitution(QStringLiteral("CG Times"), QStringLiteral("Liberation Serif"));
    QFont form_font(QStringLiteral("CG Times"));
    form_font.setPixelSize(15);
    form_font.setBold(true);
    setFont(form_font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);

    create_controls();
    create_menu();
    move(20, 31);
    // The designed layout has one size: the window is neither resized nor
    // maximised.
    setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT + menuBar()->sizeHint().height());
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setAcceptDrops(true);
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TFORM1::surface_changed);
    FormCreate(arguments);
}

TFORM1::~TFORM1() = default;

void TFORM1::create_controls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    client->setMinimumSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    setCentralWidget(client);
    const QFont label_font = sized_font(font(), 16);

    LAP_PIC = place_label<QLabel>(client, "LAP_PIC", QString(), QRect(20, 80, PLOT_WIDTH, PLOT_HEIGHT), false);

    place_label<QLabel>(client, "Label1", QStringLiteral("# Leaves"), QRect(116, 10, 55, 18), false);
    NP_LABEL = place_label<ClickLabel>(client, "NP_LABEL", QStringLiteral("4"), QRect(180, 10, 31, 21), true,
                                       "Click to change the number of leaves",
                                       [this] { commands_->NP_LABELClick(); });
    NP_LABEL->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    NP_LABEL->setFont(label_font);
    QLabel* label2 = place_label<QLabel>(client, "Label2", QStringLiteral("> 2"), QRect(213, 11, 32, 18), true);
    label2->setFont(label_font);
    INCR_LABEL = place_label<ClickLabel>(client, "INCR_LABEL", QString(), QRect(144, 47, 27, 21), true,
                                         "Click to change the efficiency in percent",
                                         [this] { commands_->INCR_LABELClick(); });
    INCR_LABEL->setAlignment(Qt::AlignRight | Qt::AlignTop);
    INCR_LABEL->setFont(label_font);
    place_label<QLabel>(client, "Label3", QStringLiteral("% effective"), QRect(175, 48, 71, 18), false);

    COMMENT_LABEL = place_label<ClickLabel>(client, "COMMENT_LABEL", QStringLiteral("Plot Caption"),
                                            QRect(20, 430, 641, 15), true,
                                            "Click to change the plot caption (the first line of the .txt file)",
                                            [this] { commands_->COMMENT_LABELClick(); });
    COMMENT_LABEL->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    COMMENT_LABEL->setFont(sized_font(font(), 13));

    // The load's warning: one line under the caption, never a dialog. The
    // whole text is in its tooltip when the line is too long to show.
    WARNING_LABEL = place_label<QLabel>(client, "WARNING_LABEL", QString(), QRect(20, 450, 641, 16), false);
    WARNING_LABEL->setFont(sized_font(QFont(font().family()), 12));
    {
        QPalette warning_palette = WARNING_LABEL->palette();
        warning_palette.setColor(QPalette::WindowText, QColor(0x99, 0x33, 0x00));
        WARNING_LABEL->setPalette(warning_palette);
    }
    WARNING_LABEL->setVisible(false);

    LAP_CHOICE = new QGroupBox(QStringLiteral("Lap Type"), client);
    LAP_CHOICE->setObjectName(QStringLiteral("LAP_CHOICE"));
    LAP_CHOICE->setGeometry(310, 0, 101, 61);
    auto* stroke = new QRadioButton(QStringLiteral("2/5 Stroke"), LAP_CHOICE);
    auto* spindle = new QRadioButton(QStringLiteral("Spindle"), LAP_CHOICE);
    stroke->setChecked(true);
    auto* choice_layout = new QVBoxLayout(LAP_CHOICE);
    choice_layout->setContentsMargins(6, 0, 2, 2);
    choice_layout->setSpacing(0);
    choice_layout->addWidget(stroke);
    choice_layout->addWidget(spindle);
    lap_choice_buttons_ = new QButtonGroup(LAP_CHOICE);
    lap_choice_buttons_->addButton(stroke, 0);
    lap_choice_buttons_->addButton(spindle, 1);
    connect(lap_choice_buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) commands_->LAP_CHOICEClick(id);
    });
    LAP_CHOICE->setVisible(false);

    QUIT = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("E&xit"), client);
    QUIT->setObjectName(QStringLiteral("QUIT"));
    QUIT->setGeometry(520, 20, 71, 31);
    connect(QUIT, &QPushButton::clicked, this, &QWidget::close);

    // The lap-type group comes first in the tab order, Exit second; the
    // value labels follow, so that every value is reached without a mouse.
    setTabOrder(stroke, spindle);
    setTabOrder(spindle, QUIT);
    setTabOrder(QUIT, NP_LABEL);
    setTabOrder(NP_LABEL, INCR_LABEL);
    setTabOrder(INCR_LABEL, COMMENT_LABEL);

    NOTICE = new Notice(client);
    NOTICE->setGeometry(NOTICE_GEOMETRY);
}

void TFORM1::create_menu() {
    // The menu keeps the desktop's font, not the window's.
    menuBar()->setFont(QApplication::font("QMenuBar"));
    QMenu* file_menu = menuBar()->addMenu(QStringLiteral("File"));
    file_menu->setObjectName(QStringLiteral("File1"));
    file_menu->setFont(QApplication::font("QMenu"));
    // Every action: its name, text, shortcut and command, in menu order. The
    // texts have no access keys, as the menus were designed.
    const auto action = [this](QWidget* menu, const char* name, const char* text, const QList<QKeySequence>& keys,
                               std::function<void()> command) {
        auto* item = new QAction(QString::fromUtf8(text), this);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcuts(keys);
        menu->addAction(item);
        connect(item, &QAction::triggered, this, std::move(command));
        return item;
    };
    Open1 = action(file_menu, "Open1", "Open", shortcuts(Qt::CTRL | Qt::Key_O, QKeySequence::Open),
                   [this] { commands_->Open1Click(); });
    Reload1 = action(file_menu, "Reload1", "Reload", shortcuts(Qt::Key_F5, QKeySequence::Refresh),
                     [this] { commands_->Reload1Click(); });
    Save1 = action(file_menu, "Save1", "Save .dxf", shortcuts(Qt::CTRL | Qt::Key_S, QKeySequence::Save),
                   [this] { commands_->Save1Click(); });
    Savetxt1 = action(file_menu, "Savetxt1", "Save .txt", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
                      [this] { commands_->Savetxt1Click(); });
    SaveTemplate1 = action(file_menu, "SaveTemplate1", "Save lap template\u2026", {}, [this] {
        commands_->SaveTemplate1Click([this](const WorkingState& ws, TemplateKind kind) {
            return template_bytes(ws, kind, decimal_separator_, this);
        });
    });
    Print1 = action(file_menu, "Print1", "Print\u2026", shortcuts(Qt::CTRL | Qt::Key_P, QKeySequence::Print),
                    [this] { print_template(); });
    file_menu->addSeparator();
    Compare1 = action(file_menu, "Compare1", "Compare with a later test\u2026", {}, [this] { compare(); });
    file_menu->addSeparator();
    Quit1 = action(file_menu, "Quit1", "Quit", shortcuts(Qt::CTRL | Qt::Key_Q, QKeySequence::Quit),
                   [this] { close(); });
    // The analyses stand in a menu of their own between File and Help; the
    // predicted removal is also on the plot's context menu.
    QMenu* view_menu = menuBar()->addMenu(QStringLiteral("View"));
    view_menu->setObjectName(QStringLiteral("View1"));
    Removal1 = action(view_menu, "Removal1", "Predicted removal", {QKeySequence(Qt::CTRL | Qt::Key_E)},
                      [this] { show_removal(); });
    LAP_PIC->setContextMenuPolicy(Qt::ActionsContextMenu);
    LAP_PIC->addAction(Removal1);
    // The design of a "2/5 Stroke" lap: one of two, and the free focus.
    QMenu* design_menu = menuBar()->addMenu(QStringLiteral("Design"));
    design_menu->setObjectName(QStringLiteral("Design1"));
    design_menu->setFont(QApplication::font("QMenu"));
    design_menu->setToolTipsVisible(true);  // why a choice is greyed out
    DesignClassic1 = action(design_menu, "DesignClassic1", "Classic", {},
                            [this] { commands_->DesignClick(LapDesign::classic); });
    DesignFit1 = action(design_menu, "DesignFit1", "Least-squares fit", {},
                        [this] { commands_->DesignClick(LapDesign::fit); });
    radio_items(this, {DesignClassic1, DesignFit1});
    design_menu->addSeparator();
    FreeFocus1 = action(design_menu, "FreeFocus1", "Free focus", {},
                        [this] { commands_->FreeFocusClick(FreeFocus1->isChecked()); });
    FreeFocus1->setCheckable(true);
    // How the lap is worked, and the law that turns it into wear.
    design_menu->addSeparator();
    Stroke1 = action(design_menu, "Stroke1", "Stroke\u2026", {}, [this] { commands_->StrokeClick(); });
    QMenu* wear_menu = design_menu->addMenu(QStringLiteral("Wear model"));
    wear_menu->setObjectName(QStringLiteral("WearModel1"));
    WearPreston1 = action(wear_menu, "WearPreston1", "Preston's law", {},
                          [this] { commands_->WearModelClick(WearLaw::preston); });
    WearMatrix1 = action(wear_menu, "WearMatrix1", "Classic zone wear matrix", {},
                         [this] { commands_->WearModelClick(WearLaw::matrix); });
    radio_items(this, {WearPreston1, WearMatrix1});
    // Help stays an item of the bar that acts when clicked.
    HELP = action(menuBar(), "HELP", "Help", shortcuts(Qt::Key_F1, QKeySequence::HelpContents),
                  [this] { commands_->HELPClick(); });
}

void TFORM1::FormCreate(const QStringList& arguments) {
    // The dialogs open in the working folder at first.
    commands_ = std::make_unique<LapCommands>(*dialogs_, *this, decimal_separator_,
                                              QFile::encodeName(QDir::currentPath()).toStdString());
    // The bitmap of the plot, at the screen's pixel density: as many pixels
    // as the plot's own at a ratio of 1, more and sharper on a denser screen.
    const qreal ratio = devicePixelRatioF();
    picture_ = std::make_unique<QImage>(QSize(PLOT_WIDTH, PLOT_HEIGHT) * ratio, QImage::Format_RGB32);
    picture_->setDevicePixelRatio(ratio);
    picture_->fill(Qt::white);
    LAP_PIC->setPixmap(QPixmap::fromImage(*picture_));

    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QString& argument : arguments) names.push_back(QFile::encodeName(argument).toStdString());
    commands_->FormCreate(names);
}

// The one place that sets what the controls show and which are visible.
void TFORM1::show_view(const ViewState& view) {
    NP_LABEL->setText(QString::fromStdString(view.leaves_text));
    INCR_LABEL->setText(QString::fromStdString(view.efficiency_text));
    COMMENT_LABEL->setText(QString::fromStdString(view.caption_text));
    {
        const QSignalBlocker quiet(lap_choice_buttons_);
        if (QAbstractButton* selected = lap_choice_buttons_->button(view.lap_choice_index)) {
            selected->setChecked(true);
        }
    }
    LAP_CHOICE->setVisible(view.lap_choice_visible);
    load_warning_ = view.warning_text;
    show_warnings();
    setWindowTitle(window_title(view.surface_path));
    // A new load (open, drop, reload) ends a notice about the file before.
    if (view.loads != loads_seen_) {
        loads_seen_ = view.loads;
        if (!NOTICE->about().isEmpty()) NOTICE->hide();
    }
    Save1->setEnabled(view.lap_drawn);
    Savetxt1->setEnabled(view.lap_drawn);
    SaveTemplate1->setEnabled(view.lap_drawn);
    Print1->setEnabled(view.lap_drawn);
    Reload1->setEnabled(!view.surface_path.empty());
    (view.fit_design ? DesignFit1 : DesignClassic1)->setChecked(true);
    // A "Spindle" lap is always classic: its design choices do not apply.
    const bool spindle = view.lap_choice_index == 1;
    const QString why = spindle ? QStringLiteral("A \u201CSpindle\u201D lap follows the measured values: it is always "
                                                 "classic. Choose \u201C2/5 Stroke\u201D to design its widths.")
                                : QString();
    for (QAction* choice : {DesignClassic1, DesignFit1}) {
        choice->setEnabled(!spindle);
        choice->setToolTip(spindle ? why : choice->text());
    }
    FreeFocus1->setChecked(view.free_focus);
    (view.matrix_wear ? WearMatrix1 : WearPreston1)->setChecked(true);
    Compare1->setEnabled(view.lap_drawn);
    watch(view.surface_path);
    update_removal();
}

// The warning line: the edges crossing in the outline drawn now (which
// every later change of the settings may bring or end), then the load's.
void TFORM1::show_warnings() {
    QStringList lines;
    if (commands_) {
        if (const std::string crossed = commands_->document().template_warning(); !crossed.empty()) {
            lines << QString::fromUtf8(crossed);
        }
    }
    if (!load_warning_.empty()) lines << QString::fromUtf8(load_warning_);
    const QString warning = lines.join(QStringLiteral("  "));
    WARNING_LABEL->setText(WARNING_LABEL->fontMetrics().elidedText(warning, Qt::ElideRight, WARNING_LABEL->width()));
    WARNING_LABEL->setToolTip(lines.join(QStringLiteral("\n")));
    WARNING_LABEL->setVisible(!warning.isEmpty());
}

void TFORM1::show_removal() {
    if (removal_view_ == nullptr) {
        removal_view_ = new RemovalView(this, *dialogs_, decimal_separator_);
        update_removal();
        removal_view_->show_beside(*this);  // where the user moves it afterwards, it stays
    }
    removal_view_->show();
    removal_view_->raise();
    removal_view_->activateWindow();
}

void TFORM1::compare() {
    if (!commands_->CompareClick()) return;
    show_removal();
    removal_view_->select_comparison();
}

void TFORM1::update_removal() {
    if (removal_view_ == nullptr || !commands_) return;
    removal_view_->show_state(commands_->document());
}

// The print preview of the lap template, after a message when widths below
// zero make the edges cross.
void TFORM1::print_template() {
    const WorkingState& ws = commands_->state();
    if (!ws.loaded) {
        dialogs_->message(OPEN_FIRST_MESSAGE);
        return;
    }
    if (const std::string crossed = commands_->document().template_warning(); !crossed.empty()) {
        dialogs_->message(crossed);
    }
    print_lap_template(this, *dialogs_, ws, decimal_separator_);
}

void TFORM1::notify(const std::string& text) {
    NOTICE->show_text(QString::fromUtf8(text), {}, {}, SAVED_NOTICE_MS);
}

void TFORM1::watch(const std::string& path) {
    if (path == watched_) return;
    if (!watcher_->files().isEmpty()) watcher_->removePaths(watcher_->files());
    watched_ = path;
    if (!path.empty()) watcher_->addPath(QFile::decodeName(QByteArray::fromStdString(path)));
}

// Offers to read the file again. A program that saves by writing a new file
// and renaming it over the old one ends the watch: the new file is watched.
void TFORM1::surface_changed(const QString& path) {
    // A change reported for a file no longer loaded concerns nothing shown.
    if (path != QFile::decodeName(QByteArray::fromStdString(watched_))) return;
    if (!watcher_->files().contains(path) && QFileInfo::exists(path)) watcher_->addPath(path);
    NOTICE->show_text(QFileInfo(path).fileName() + QStringLiteral(" has changed on disk."),
                      QStringLiteral("Reload"), [this] { commands_->Reload1Click(); }, 0, path);
}

// The first local file of a drop is opened; anything else is not taken.
namespace {
QString dropped_file(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) return url.toLocalFile();
    }
    return {};
}
}  // namespace

// Where the desktop maximises a window whatever its size hints, the window
// goes back to its one size.
void TFORM1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    const Qt::WindowStates grown = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (windowState() & grown) {
        QTimer::singleShot(0, this, [this, grown] {
            setWindowState(windowState() & ~grown);
            resize(minimumSize());
        });
    }
}

// A dropped file is read, never taken: the drop is accepted as a copy only,
// whatever the source proposes, so that no source deletes its file after a
// move.
namespace {
bool accept_as_copy(QDropEvent* event) {
    if (dropped_file(event->mimeData()).isEmpty() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}
}  // namespace

void TFORM1::dragEnterEvent(QDragEnterEvent* event) { accept_as_copy(event); }

void TFORM1::dragMoveEvent(QDragMoveEvent* event) { accept_as_copy(event); }

void TFORM1::dropEvent(QDropEvent* event) {
    if (!accept_as_copy(event)) return;
    const QString path = dropped_file(event->mimeData());
    commands_->FileDrop(QFile::encodeName(path).toStdString());
}

void TFORM1::draw_plot(const std::function<void(Canvas&)>& draw) {
    {
        QtCanvas canvas(*picture_);
        draw(canvas);
    }
    LAP_PIC->setPixmap(QPixmap::fromImage(*picture_));
    show_warnings();
    update_removal();
}

}  // namespace dz
