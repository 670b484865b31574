#include "ui/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <type_traits>
#include <utility>

#include "core/keyword_run.h"
#include "core/search_address.h"
#include "net/page_fetch.h"

namespace slotscope {
namespace {

constexpr int kTwipsPerPixel = 15;  // at 96 dpi; Qt scales the pixels for other densities

QRect Twips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// SimSun first; where it is missing, another installed CJK font rather than boxes.
QFont SongFont(double points) {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("AR PL UMing CN")});
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

QString FromUtf16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToUtf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

// Runs `work` on the thread of `context` and waits for it, handing back its result.
template <typename Work>
std::invoke_result_t<Work> OnThreadOf(QObject* context, Work work) {
    if (QThread::currentThread() == context->thread()) {
        return work();
    }
    if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
        QMetaObject::invokeMethod(context, work, Qt::BlockingQueuedConnection);
    } else {
        std::invoke_result_t<Work> result;
        QMetaObject::invokeMethod(
            context, [&] { result = work(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

const char* const kStartCaption = "开始";
const char* const kStopCaption = "停止";

}  // namespace

WindowServices DefaultWindowServices() {
    WindowServices services;
    services.makeFetcher = [] { return std::make_unique<HttpPageFetcher>(); };
    services.resultsPath = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral("baidu.csv"))
                               .toStdString();
    services.homePageUrl = std::string(HomePageUrl);
    services.searchUrlPrefix = std::string(SearchUrlPrefix);
    services.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return services;
}

// The run's six texts bound to the controls. The run calls these on its worker thread; each
// call is carried out on the window's thread, and waits for it, so a read sees what the user
// has typed up to that moment and a write shows at once.
class Form1::Fields final : public RunFields {
  public:
    explicit Fields(Form1& form) : form_(form) {}

    std::u16string KeywordList() const override {
        return OnThreadOf(
            &form_, [this] { return WithCrLfLineBreaks(ToUtf16(form_.Text1_->toPlainText())); });
    }
    std::u16string Website() const override {
        return OnThreadOf(&form_, [this] { return ToUtf16(form_.Text4_->text()); });
    }
    std::u16string LeftLabel() const override {
        return OnThreadOf(&form_, [this] { return ToUtf16(form_.Text2_->toPlainText()); });
    }
    void SetLeftLabel(const std::u16string& text) override {
        OnThreadOf(&form_, [&] { form_.Text2_->setPlainText(FromUtf16(text)); });
    }
    std::u16string RightLabel() const override {
        return OnThreadOf(&form_, [this] { return ToUtf16(form_.Text3_->text()); });
    }
    void SetRightLabel(const std::u16string& text) override {
        OnThreadOf(&form_, [&] { form_.Text3_->setText(FromUtf16(text)); });
    }
    void SetProgress(const std::u16string& text) override {
        OnThreadOf(&form_, [&] { form_.Text5_->setText(FromUtf16(text)); });
    }
    void SetStatus(const std::u16string& text) override {
        OnThreadOf(&form_, [&] { form_.Label3_->setText(FromUtf16(text)); });
    }

  private:
    Form1& form_;
};

Form1::Form1(WindowServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
    setWindowTitle(QStringLiteral("Slotscope"));
    setFont(SongFont(9));
    const QSize client = Twips(0, 0, 6345, 5865).size();
    setFixedSize(client);

    const auto label = [this](const char* name, const QString& caption, QRect box) {
        auto* widget = new QLabel(caption, this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(box);
        widget->setWordWrap(true);
        widget->setTextFormat(Qt::PlainText);
        widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return widget;
    };
    const auto line = [this](const char* name, const QString& text, QRect box) {
        auto* widget = new QLineEdit(text, this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(box);
        return widget;
    };
    const auto area = [this](const char* name, const QString& text, QRect box) {
        auto* widget = new QPlainTextEdit(text, this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(box);
        widget->setTabChangesFocus(true);
        return widget;
    };
    const auto button = [this](const char* name, const QString& caption, QRect box) {
        auto* widget = new QPushButton(caption, this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(box);
        widget->setAutoDefault(false);
        return widget;
    };

    Label1_ = label("Label1", QStringLiteral("竞价关键词(每行一词)"), Twips(360, 240, 2055, 255));
    Text1_ = area("Text1", QString(), Twips(120, 720, 2775, 4815));
    Text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    Label2_ = label("Label2", QStringLiteral("查看网址"), Twips(3600, 480, 2055, 255));
    Label5_ = label("Label5", QStringLiteral("www."), Twips(3000, 960, 855, 375));
    Label5_->setFont(SongFont(14.25));
    Text4_ = line("Text4", QString(), Twips(3720, 960, 2295, 360));
    Text4_->setFont(SongFont(14.25));
    Command1_ = button("Command1", QString::fromUtf8(kStartCaption), Twips(3120, 1560, 2895, 975));
    Command1_->setFont(SongFont(21.75));
    Label6_ = label("Label6", QStringLiteral("进度："), Twips(3480, 2760, 975, 255));
    Label6_->setFont(SongFont(14.25));
    Text5_ = line("Text5", QStringLiteral("0/0"), Twips(4320, 2760, 975, 270));
    Label3_ = label("Label3",
                    QStringLiteral("   程序运行完毕时，在本窗口提示。运行过程中，请不要试图关闭。"
                                   "结果保存在同目录下的baidu.csv文件里"),
                    Twips(3240, 3240, 2775, 975));
    Label4_ = label("Label4",
                    QStringLiteral("制作：Slotscope 开发组\n联系：slotscope@example.com\n官网：") +
                        QString::fromStdString(services_.homePageUrl),
                    Twips(3240, 4200, 2775, 855));
    Command2_ = button("Command2", QStringLiteral("访问官网"), Twips(3120, 5280, 3015, 375));
    // The two label fields lie beyond the right edge, as on the form: the run's scratch texts.
    Text2_ = area("Text2", QStringLiteral("Text2"), Twips(8280, 360, 1215, 975));
    Text3_ = line("Text3", QStringLiteral("Text3"), Twips(8160, 1920, 1335, 855));

    for (QLabel* caption : {Label1_, Label2_, Label5_, Label6_, Label3_, Label4_}) {
        caption->setFocusPolicy(Qt::NoFocus);
    }
    QWidget::setTabOrder(Text1_, Text4_);
    QWidget::setTabOrder(Text4_, Command1_);
    QWidget::setTabOrder(Command1_, Text2_);
    QWidget::setTabOrder(Text2_, Text3_);
    QWidget::setTabOrder(Text3_, Text5_);
    QWidget::setTabOrder(Text5_, Command2_);
    Text1_->setFocus();

    connect(Command1_, &QPushButton::clicked, this, &Form1::OnCommand1Clicked);
    connect(Command2_, &QPushButton::clicked, this, &Form1::OpenHomePage);
}

Form1::~Form1() {
    if (worker_.joinable()) {
        // Not through closeEvent (the program is ending another way): stop the run and serve
        // its last calls to the controls until it has closed the results file.
        stop_.request_stop();
        while (!workerDone_) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        if (worker_.joinable()) {  // OnRunEnded may have joined it meanwhile
            worker_.join();
        }
    }
}

void Form1::OnCommand1Clicked() {
    if (running_) {
        stop_.request_stop();  // the run ends after the keyword under way, keeping its lines
        return;
    }
    StartRun();
}

void Form1::StartRun() {
    running_ = true;
    workerDone_ = false;
    Command1_->setText(QString::fromUtf8(kStopCaption));
    stop_ = std::stop_source();
    fields_ = std::make_unique<Fields>(*this);
    fetcher_ = services_.makeFetcher();

    RunOptions options;
    options.resultsPath = services_.resultsPath;
    options.homePageUrl = services_.homePageUrl;
    options.searchUrlPrefix = services_.searchUrlPrefix;
    options.lookAhead = services_.lookAhead;
    options.stop = stop_.get_token();
    worker_ = std::jthread([this, options = std::move(options)] {
        RunKeywordCheck(*fields_, *fetcher_, options);
        workerDone_ = true;
        QMetaObject::invokeMethod(this, &Form1::OnRunEnded, Qt::QueuedConnection);
    });
}

void Form1::OnRunEnded() {
    if (!running_) {
        return;
    }
    worker_.join();
    fetcher_.reset();  // the run's connections and cookies go with it
    fields_.reset();
    running_ = false;
    Command1_->setText(QString::fromUtf8(kStartCaption));
    emit runFinished();
    if (closeWhenDone_) {
        close();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (running_) {
        // Stop first and close once the run has written its last line and closed the file; the
        // window's thread goes on serving the run meanwhile.
        closeWhenDone_ = true;
        stop_.request_stop();
        event->ignore();
        return;
    }
    event->accept();
}

void Form1::OpenHomePage() const {
    // The address goes to the desktop as a URL, never through a shell command line; if nothing
    // opens it, the window stays as it is.
    if (services_.openUrl) {
        services_.openUrl(QUrl(QString::fromStdString(services_.homePageUrl)));
    }
}

}  // namespace slotscope
