#include "ui/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <utility>

#include "core/run_limits.h"
#include "core/search_address.h"
#include "ui/form_table.h"

namespace slotscope {
namespace {

// Qt lays out in pixels of 96 dots per inch and scales them for denser screens itself.
constexpr int kLogicalDpi = 96;

QRect Place(const form::Control& control) {
    return {form::ToPixels(control.left, kLogicalDpi), form::ToPixels(control.top, kLogicalDpi),
            form::ToPixels(control.width, kLogicalDpi),
            form::ToPixels(control.height, kLogicalDpi)};
}

// SimSun first; where it is missing, another installed CJK font rather than boxes.
QFont SongFont(double points) {
    QFont font;
    font.setFamilies(
        {QString::fromUtf16(form::kFontFace.data(), static_cast<qsizetype>(form::kFontFace.size())),
         QStringLiteral("NSimSun"), QStringLiteral("Noto Serif CJK SC"),
         QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
         QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UMing CN")});
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

QString FromUtf16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToUtf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QWidget* MakeControl(const form::Control& control, QWidget* parent) {
    const QString caption = FromUtf16(control.caption);
    QWidget* widget = nullptr;
    switch (control.kind) {
        case form::Kind::Label: {
            auto* label = new QLabel(caption, parent);
            label->setWordWrap(true);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setFocusPolicy(Qt::NoFocus);
            widget = label;
            break;
        }
        case form::Kind::TextBox:
            widget = new QLineEdit(caption, parent);
            break;
        case form::Kind::MultiLineTextBox: {
            auto* area = new QPlainTextEdit(caption, parent);
            area->setTabChangesFocus(true);
            if (control.scrollBar) {
                area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                area->setLineWrapMode(QPlainTextEdit::NoWrap);
            }
            widget = area;
            break;
        }
        case form::Kind::Button: {
            auto* button = new QPushButton(caption, parent);
            button->setAutoDefault(false);
            widget = button;
            break;
        }
        case form::Kind::Link: {
            auto* link = new QLabel(
                QStringLiteral("<a href=\"#\">%1</a>").arg(caption.toHtmlEscaped()), parent);
            link->setTextFormat(Qt::RichText);
            link->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                          Qt::LinksAccessibleByKeyboard);
            link->setFocusPolicy(Qt::StrongFocus);
            widget = link;
            break;
        }
        case form::Kind::ComboBox: {
            auto* box = new QComboBox(parent);
            for (const std::u16string_view choice : form::Lines(control.caption)) {
                box->addItem(FromUtf16(choice));
            }
            widget = box;
            break;
        }
    }
    widget->setObjectName(
        QString::fromLatin1(control.name.data(), static_cast<qsizetype>(control.name.size())));
    widget->setGeometry(Place(control));
    if (control.points > 0) {
        widget->setFont(SongFont(control.points));
    }
    return widget;
}

// The height a label's or button's caption needs in `font`: a label's wrapped at its width, a
// button's on one line.
int CaptionHeight(const QWidget* widget, const QFont& font) {
    const bool label = qobject_cast<const QLabel*>(widget) != nullptr;
    const QString text = label ? static_cast<const QLabel*>(widget)->text()
                               : static_cast<const QAbstractButton*>(widget)->text();
    const int flags = static_cast<int>(Qt::AlignLeft | Qt::AlignTop) |
                      (label ? Qt::TextWordWrap : Qt::TextSingleLine);
    return QFontMetrics(font)
        .boundingRect(QRect(0, 0, widget->contentsRect().width(), 1 << 20), flags, text)
        .height();
}

// A caption cut at the bottom can read as another word (进 as 讲): the control grows downward.
void GrowToFit(QWidget* widget) {
    const int needed = CaptionHeight(widget, widget->font());
    const int height = widget->contentsRect().height();
    if (needed > height) {
        widget->resize(widget->width(), widget->height() + needed - height);
    }
}

// The status label keeps its box; a caption too long for it is shown smaller.
void FitStatus(QLabel* label) {
    QFont font = label->font();
    for (const double points : form::kStatusPoints) {
        font.setPointSizeF(points);
        if (CaptionHeight(label, font) <= label->contentsRect().height()) {
            break;
        }
    }
    label->setFont(font);
}

QString TextOf(const QWidget* widget) {
    if (const auto* line = qobject_cast<const QLineEdit*>(widget)) {
        return line->text();
    }
    if (const auto* area = qobject_cast<const QPlainTextEdit*>(widget)) {
        return area->toPlainText();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) {
        return box->currentText();
    }
    return qobject_cast<const QAbstractButton*>(widget)->text();
}

void SetTextOf(QWidget* widget, const QString& text) {
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        line->setText(text);
    } else if (auto* area = qobject_cast<QPlainTextEdit*>(widget)) {
        area->setPlainText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
        box->setCurrentText(text);
    } else {
        qobject_cast<QAbstractButton*>(widget)->setText(text);
    }
}

}  // namespace

WindowServices DesktopWindowServices(WindowServices::MakeFetcher makeFetcher,
                                     std::function<std::string(std::string_view)> cookieError) {
    WindowServices services;
    services.makeFetcher = std::move(makeFetcher);
    services.cookieError = std::move(cookieError);
    const QDir folder(QCoreApplication::applicationDirPath());
    services.store = std::make_shared<SettingsStore>(
        QCoreApplication::applicationDirPath().toStdString(), UserSettingsFolder());
    services.resultsPath =
        folder.filePath(QString::fromUtf8(limits::kResultsFileName)).toStdString();
    services.mobileResultsPath =
        folder.filePath(QString::fromUtf8(limits::kPhoneResultsFileName)).toStdString();
    services.homePageUrl = std::string(HomePageUrl);
    services.searchUrlPrefix = std::string(SearchUrlPrefix);
    services.mobileSearchUrlPrefix = std::string(MobileSearchUrlPrefix);
    services.settings = RunSettings{};
    services.openUrl = [](const std::string& address) {
        return QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
    };
    services.openFile = [](const std::string& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    };
    return services;
}

class Form1::Texts final : public WindowTexts {
  public:
    explicit Texts(const Form1& form) : form_(form) {}

    std::u16string Get(Field field) const override {
        return ToUtf16(TextOf(form_.Control(WindowTexts::ControlOf(field))));
    }
    void Set(Field field, const std::u16string& text) override {
        QWidget* control = form_.Control(WindowTexts::ControlOf(field));
        SetTextOf(control, FromUtf16(text));
        if (field == Field::Status) {
            FitStatus(static_cast<QLabel*>(control));
        }
    }
    void SetChoices(Field field, const std::vector<std::u16string>& choices) override {
        auto* box = static_cast<QComboBox*>(form_.Control(WindowTexts::ControlOf(field)));
        const QString chosen = box->currentText();
        box->clear();
        for (const std::u16string& choice : choices) {
            box->addItem(FromUtf16(choice));
        }
        box->setCurrentIndex(std::max(box->findText(chosen, Qt::MatchExactly), 0));
    }

  private:
    const Form1& form_;
};

// Work for the window's thread goes through Qt's queued calls on the window object, which Qt
// drops if the window is gone by then.
class Form1::Thread final : public WindowThread {
  public:
    explicit Thread(Form1& form) : form_(form) {}

    void Post(std::function<void()> work) override {
        QMetaObject::invokeMethod(&form_, std::move(work), Qt::QueuedConnection);
    }

  private:
    Form1& form_;
};

Form1::Form1(WindowServices services, QWidget* parent) : QWidget(parent) {
    setWindowTitle(FromUtf16(form::kTitle));
    setFont(SongFont(form::kDefaultPoints));
    setFixedSize(form::ToPixels(form::kWidthTwips, kLogicalDpi),
                 form::ToPixels(form::kHeightTwips, kLogicalDpi));

    // Made in tab order, so the focus chain is the form's.
    QWidget* previous = nullptr;
    for (const form::Control& control : form::kControls) {
        QWidget* widget = MakeControl(control, this);
        controls_.emplace(std::string(control.name), widget);
        if (control.kind == form::Kind::Label) {
            widget->lower();  // under the text boxes it reaches, as on the form
        } else {
            if (previous != nullptr) {
                QWidget::setTabOrder(previous, widget);
            }
            previous = widget;
        }
    }
    auto* label4 = static_cast<QLabel*>(Control("Label4"));
    label4->setText(label4->text() + QString::fromStdString(services.homePageUrl));
    const char* status = WindowTexts::ControlOf(WindowTexts::Field::Status);
    for (const form::Control& control : form::kControls) {
        if (control.name == status) {
            FitStatus(static_cast<QLabel*>(Control(status)));
        } else if (control.kind == form::Kind::Label || control.kind == form::Kind::Button) {
            GrowToFit(Control(std::string(control.name).c_str()));
        }
    }
    Control("Text1")->setFocus();

    texts_ = std::make_unique<Texts>(*this);
    thread_ = std::make_unique<Thread>(*this);
    auto* command1 = static_cast<QPushButton*>(Control("Command1"));
    run_ = std::make_unique<WindowRun>(
        std::move(services), *texts_, *thread_,
        WindowRun::Events{.runningChanged =
                              [command1](bool running) {
                                  command1->setText(FromUtf16(running ? form::kStopCaption
                                                                      : form::kStartCaption));
                              },
                          .finished = [this] { emit runFinished(); },
                          .close = [this] { close(); }});
    connect(command1, &QPushButton::clicked, this, [this] { run_->StartOrStop(); });
    connect(static_cast<QPushButton*>(Control("Command2")), &QPushButton::clicked, this,
            [this] { run_->OpenHomePage(); });
    connect(static_cast<QLabel*>(Control("Label8")), &QLabel::linkActivated, this,
            [this] { OpenSettings(); });
    connect(static_cast<QLabel*>(Control("Label9")), &QLabel::linkActivated, this,
            [this] { OpenHistory(); });
    connect(static_cast<QLabel*>(Control("Label11")), &QLabel::linkActivated, this,
            [this] { ExportWorkbook(); });
}

void Form1::OpenHistory() {
    run_->OpenHistory([this](const std::u16string& message) { ShowHistoryMessage(message); });
}

void Form1::ExportWorkbook() {
    run_->ExportWorkbook([this](const std::u16string& message) { ShowHistoryMessage(message); });
}

void Form1::ShowHistoryMessage(const std::u16string& message) {
    // Window-modal, so a run under way goes on being shown.
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("历史记录"),
                                FromUtf16(message), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("HistoryMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void Form1::OpenSettings() {
    if (auto* open = findChild<QDialog*>(QStringLiteral("Settings"))) {
        open->raise();
        return;
    }
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("Settings"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(FromUtf16(form::kSettingsTitle));
    dialog->setFont(SongFont(form::kDefaultPoints));
    dialog->setFixedSize(form::ToPixels(form::kSettingsWidthTwips, kLogicalDpi),
                         form::ToPixels(form::kSettingsHeightTwips, kLogicalDpi));
    std::map<std::string, QWidget*, std::less<>> controls;
    QWidget* previous = nullptr;
    for (const form::Control& control : form::kSettingsControls) {
        QWidget* widget = MakeControl(control, dialog);
        controls.emplace(std::string(control.name), widget);
        if (control.kind == form::Kind::Label) {
            widget->lower();
            GrowToFit(widget);
        } else {
            if (previous != nullptr) {
                QWidget::setTabOrder(previous, widget);
            }
            previous = widget;
        }
    }
    for (const auto& [name, text] : SettingsDialogTexts(run_->settings())) {
        SetTextOf(controls.find(name)->second, FromUtf16(text));
    }
    auto* ok = static_cast<QPushButton*>(controls.find("Command1")->second);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, dialog, [this, dialog, controls] {
        const auto settings = ReadSettingsDialog(
            [&controls](std::string_view name) {
                return ToUtf16(TextOf(controls.find(name)->second));
            },
            run_->services().cookieError);
        if (!settings) {
            SetTextOf(controls.find("Label8")->second, FromUtf16(settings.error()));
            return;
        }
        run_->SetSettings(*settings);
        dialog->accept();
    });
    connect(static_cast<QPushButton*>(controls.find("Command2")->second), &QPushButton::clicked,
            dialog, &QDialog::reject);
    // 测试: the channels as the box holds them now, saved or not.
    connect(static_cast<QPushButton*>(controls.find("Command3")->second), &QPushButton::clicked,
            dialog, [this, controls] {
                run_->TestChannels(ToUtf16(TextOf(controls.find("Text9")->second)),
                                   [this](const std::u16string& message) {
                                       auto* box = new QMessageBox(
                                           QMessageBox::Information, QStringLiteral("通知测试"),
                                           FromUtf16(message), QMessageBox::Ok, this);
                                       box->setObjectName(QStringLiteral("ChannelsTest"));
                                       box->setAttribute(Qt::WA_DeleteOnClose);
                                       box->open();
                                   });
            });
    controls.find("Text1")->second->setFocus();
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
}

Form1::~Form1() = default;

QWidget* Form1::Control(const char* name) const {
    return controls_.find(name)->second;
}

void Form1::closeEvent(QCloseEvent* event) {
    if (run_->CloseRequested()) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace slotscope
