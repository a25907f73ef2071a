#include "app/main_window.hpp"

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.hpp"
#include "app/qt_canvas.hpp"
#include "app/qt_dialogs.hpp"
#include "drawing/lap_plot.hpp"
#include "text_io/locale_separator.hpp"

namespace dz {
namespace {

// The designed client area below the menu bar: the outer frame of 700 x 517
// less the borders, the title bar and the menu bar of the designed platform.
constexpr int CLIENT_WIDTH = 692;
constexpr int CLIENT_HEIGHT = 470;

// A label that runs a command when clicked.
class ClickLabel final : public QLabel {
public:
    ClickLabel(const QString& text, QWidget* parent, std::function<void()> on_click)
        : QLabel(text, parent), on_click_(std::move(on_click)) {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) on_click_();
        QLabel::mouseReleaseEvent(event);
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

}  // namespace

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
    resize(CLIENT_WIDTH, CLIENT_HEIGHT + menuBar()->sizeHint().height());
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
                                       [this] { commands_->NP_LABELClick(); });
    NP_LABEL->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    NP_LABEL->setFont(label_font);
    QLabel* label2 = place_label<QLabel>(client, "Label2", QStringLiteral("> 2"), QRect(213, 11, 32, 18), true);
    label2->setFont(label_font);
    INCR_LABEL = place_label<ClickLabel>(client, "INCR_LABEL", QString(), QRect(144, 47, 27, 21), true,
                                         [this] { commands_->INCR_LABELClick(); });
    INCR_LABEL->setAlignment(Qt::AlignRight | Qt::AlignTop);
    INCR_LABEL->setFont(label_font);
    place_label<QLabel>(client, "Label3", QStringLiteral("% effective"), QRect(175, 48, 71, 18), false);

    COMMENT_LABEL = place_label<ClickLabel>(client, "COMMENT_LABEL", QStringLiteral("Plot Caption"),
                                            QRect(20, 430, 641, 15), true, [this] { commands_->COMMENT_LABELClick(); });
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

    // The lap-type group comes first in the tab order, Exit second.
    setTabOrder(stroke, spindle);
    setTabOrder(spindle, QUIT);
}

void TFORM1::create_menu() {
    // The menu keeps the desktop's font, not the window's.
    menuBar()->setFont(QApplication::font("QMenuBar"));
    QMenu* file_menu = menuBar()->addMenu(QStringLiteral("File"));
    file_menu->setObjectName(QStringLiteral("File1"));
    file_menu->setFont(QApplication::font("QMenu"));
    Open1 = file_menu->addAction(QStringLiteral("Open"));
    Save1 = file_menu->addAction(QStringLiteral("Save .dxf"));
    Savetxt1 = file_menu->addAction(QStringLiteral("Save .txt"));
    HELP = menuBar()->addAction(QStringLiteral("Help"));
    Open1->setObjectName(QStringLiteral("Open1"));
    Save1->setObjectName(QStringLiteral("Save1"));
    Savetxt1->setObjectName(QStringLiteral("Savetxt1"));
    HELP->setObjectName(QStringLiteral("HELP"));

    connect(Open1, &QAction::triggered, this, [this] { commands_->Open1Click(); });
    connect(Save1, &QAction::triggered, this, [this] { commands_->Save1Click(); });
    connect(Savetxt1, &QAction::triggered, this, [this] { commands_->Savetxt1Click(); });
    connect(HELP, &QAction::triggered, this, [this] { commands_->HELPClick(); });
}

void TFORM1::FormCreate(const QStringList& arguments) {
    // The dialogs open in the working folder at first.
    commands_ = std::make_unique<LapCommands>(*dialogs_, *this, decimal_separator_,
                                              QFile::encodeName(QDir::currentPath()).toStdString());
    // The bitmap of the plot, blank until the first drawing.
    picture_ = std::make_unique<QImage>(PLOT_WIDTH, PLOT_HEIGHT, QImage::Format_RGB32);
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
    const QString warning = QString::fromStdString(view.warning_text);
    WARNING_LABEL->setText(WARNING_LABEL->fontMetrics().elidedText(warning, Qt::ElideRight, WARNING_LABEL->width()));
    WARNING_LABEL->setToolTip(warning);
    WARNING_LABEL->setVisible(!warning.isEmpty());
}

void TFORM1::draw_plot(const std::function<void(Canvas&)>& draw) {
    {
        QtCanvas canvas(*picture_);
        draw(canvas);
    }
    LAP_PIC->setPixmap(QPixmap::fromImage(*picture_));
}

}  // namespace dz
