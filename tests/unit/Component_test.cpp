#include <gtest/gtest.h>

#include "base/FormReader.h"

using namespace qr;

namespace {

std::vector<std::string>* gLog = nullptr;

class TThing : public TComponent {
public:
    explicit TThing(TComponent* owner) : TComponent(owner) {
        PublishString(
            "Caption", [this] { return Caption; },
            [this](const UString& v) {
                Caption = v;
                if (gLog) gLog->push_back(Name() + ".Caption");
            });
        PublishInteger(
            "Width", [this] { return Width; }, [this](int64_t v) { Width = v; });
        PublishBoolean(
            "Visible", [this] { return Visible; }, [this](bool v) { Visible = v; });
        PublishString(
            "ReadOnly", [] { return UString(u"fixed"); }, nullptr);
        TPropInfo ref;
        ref.Name = "Buddy";
        ref.Kind = TTypeKind::tkClass;
        ref.TypeName = "TThing";
        ref.Get = [this] { return Buddy ? Utf8ToUnicode(Buddy->Name()) : UString(); };
        ref.Set = [this](const UString& v) {
            Buddy = Owner()->FindComponent(UnicodeToUtf8(v));
            if (Buddy) Buddy->FreeNotification(this);
        };
        Publish(ref);
        TPropInfo bin;
        bin.Name = "Data";
        bin.Kind = TTypeKind::tkBinary;
        bin.SetBinary = [this](const std::string& b) { Data = b; };
        Publish(bin);
    }
    ~TThing() override {
        if (gLog) gLog->push_back("~" + Name());
    }
    const char* ClassName() const override { return "TThing"; }
    void Loaded() override {
        TComponent::Loaded();
        if (gLog) gLog->push_back(Name() + ".Loaded");
    }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == TOperation::opRemove && c == Buddy) Buddy = nullptr;
    }
    void InsertChild(TComponent* child) override { Children.push_back(child); }

    UString Caption;
    int64_t Width = 0;
    bool Visible = false;
    TComponent* Buddy = nullptr;
    std::string Data;
    std::vector<TComponent*> Children;
};

TClassRegistry Classes() {
    TClassRegistry r;
    r.Register("TThing", [](TComponent* o) { return new TThing(o); });
    return r;
}

struct ComponentTest : testing::Test {
    std::vector<std::string> log;
    void SetUp() override { gLog = &log; }
    void TearDown() override { gLog = nullptr; }
};

}  // namespace

TEST_F(ComponentTest, OwnerFindsByNameAndDestroysLastCreatedFirst) {
    {
        TThing form(nullptr);
        form.SetName("Form");
        auto* a = new TThing(&form);
        a->SetName("Alpha");
        auto* b = new TThing(&form);
        b->SetName("Beta");
        EXPECT_EQ(form.FindComponent("alpha"), a);
        EXPECT_EQ(form.FindComponent("BETA"), b);
        EXPECT_EQ(form.FindComponent("Gamma"), nullptr);
        EXPECT_THROW(b->SetName("ALPHA"), EComponentError);
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"~Form", "~Beta", "~Alpha"}));
}

TEST_F(ComponentTest, ReferencesAreClearedWhenTheOtherGoes) {
    TThing form(nullptr);
    auto* a = new TThing(&form);
    a->SetName("A");
    TThing outsider(nullptr);
    outsider.SetPropertyText("Name", u"Outsider");
    a->Buddy = &outsider;
    outsider.FreeNotification(a);
    auto* b = new TThing(&form);
    b->SetName("B");
    b->Buddy = a;
    delete a;  // sibling B hears of it
    EXPECT_EQ(b->Buddy, nullptr);
}

TEST_F(ComponentTest, PropertiesByNameAsText) {
    TThing t(nullptr);
    t.SetPropertyText("caption", u"Hello");
    t.SetPropertyText("Width", u"-12");
    t.SetPropertyText("Visible", u"true");
    EXPECT_EQ(t.GetPropertyText("Caption"), u"Hello");
    EXPECT_EQ(t.GetPropertyText("Width"), u"-12");
    EXPECT_EQ(t.GetPropertyText("Visible"), u"True");
    EXPECT_EQ(t.FindProperty("Visible")->Kind, TTypeKind::tkBoolean);
    EXPECT_THROW(t.SetPropertyText("Width", u"12px"), EPropertyError);
    EXPECT_THROW(t.SetPropertyText("Visible", u"yes"), EPropertyError);
    EXPECT_THROW(t.SetPropertyText("ReadOnly", u"x"), EPropertyError);
    EXPECT_THROW(t.SetPropertyText("Missing", u"x"), EPropertyError);
}

TEST_F(ComponentTest, ReaderBuildsInStoredOrderFixesReferencesThenLoadsAll) {
    const char* text = R"(object Form: TThing
  Caption = 'It''s ' + #228 + 'x'
  Width = 690
  object First: TThing
    Buddy = Second
    Caption = 'one'
    Data = {00 41 ff}
  end
  object Second: TThing
    Caption = ('a' 'b')
    object Inner: TThing
      Visible = True
    end
  end
end
)";
    TThing form(nullptr);
    form.SetName("Form");
    ReadComponents(form, ParseFormText(text), Classes());
    EXPECT_EQ(form.Caption, u"It's \u00E4x");
    EXPECT_EQ(form.Width, 690);
    auto* first = static_cast<TThing*>(form.FindComponent("First"));
    auto* second = static_cast<TThing*>(form.FindComponent("Second"));
    auto* inner = static_cast<TThing*>(form.FindComponent("Inner"));
    ASSERT_TRUE(first && second && inner);
    EXPECT_EQ(first->Buddy, second);
    EXPECT_EQ(first->Data, std::string("\0A\xFF", 3));
    EXPECT_EQ(second->Caption, u"a\r\nb");
    EXPECT_EQ(second->Children, std::vector<TComponent*>{inner});
    EXPECT_TRUE(inner->Visible);
    EXPECT_FALSE(form.IsLoading());
    EXPECT_EQ(log,
              (std::vector<std::string>{"Form.Caption", "First.Caption", "Second.Caption", "First.Loaded",
                                        "Second.Loaded", "Inner.Loaded", "Form.Loaded"}));
}

TEST_F(ComponentTest, ReaderRejectsBrokenDescriptions) {
    TThing form(nullptr);
    EXPECT_THROW(ParseFormText("object F: TThing\n Caption = 'x\nend"), EReadError);
    EXPECT_THROW(ParseFormText("object F: TThing\n Caption 'x'\nend"), EReadError);
    EXPECT_THROW(ParseFormText("object F: TThing\nend\nextra"), EReadError);
    EXPECT_THROW(ParseFormText("object F: TThing\n Data = {0}\nend"), EReadError);
    EXPECT_THROW(ReadComponents(form, ParseFormText("object F: TThing\n Colour = 1\nend"), Classes()),
                 EReadError);
    EXPECT_THROW(
        ReadComponents(form, ParseFormText("object F: TThing\n object X: TNone\n end\nend"), Classes()),
        EReadError);
}
