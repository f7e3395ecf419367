#pragma once

// A host menu for tests: a tree of items with captions and owners. Handles
// on it record what the settings code does with them.

#include <memory>
#include <string>
#include <vector>

#include "ui/menu_item.h"

namespace qmx::test {

struct TMenuNode {
    std::string Caption;
    int Owner = 0;
    std::vector<std::shared_ptr<TMenuNode>> Children;
    std::string Hint;
    std::int32_t HelpContext = -1;
    int ShortCut = -1;
    TClickHandler OnClick;
    std::vector<std::string> Calls;  // on this node, in order

    std::shared_ptr<TMenuNode> AddChild(const std::string& caption) {
        auto child = std::make_shared<TMenuNode>();
        child->Caption = caption;
        child->Owner = Owner;
        Children.push_back(child);
        return child;
    }
};

class TFakeMenuItem final : public TMenuItem {
public:
    explicit TFakeMenuItem(std::shared_ptr<TMenuNode> node) : FNode(std::move(node)) {}

    std::int32_t GetCount() override { return static_cast<std::int32_t>(FNode->Children.size()); }
    std::unique_ptr<TMenuItem> GetItem(std::int32_t index) override {
        return std::make_unique<TFakeMenuItem>(FNode->Children.at(static_cast<std::size_t>(index)));
    }
    std::string Caption() override { return FNode->Caption; }
    std::unique_ptr<TMenuItem> CreateWithSameOwner() override {
        auto node = std::make_shared<TMenuNode>();
        node->Owner = FNode->Owner;
        node->Calls.push_back("Create(owner " + std::to_string(FNode->Owner) + ")");
        return std::make_unique<TFakeMenuItem>(node);
    }
    void Add(TMenuItem& item) override {
        FNode->Children.push_back(static_cast<TFakeMenuItem&>(item).FNode);
        FNode->Calls.push_back("Add");
    }
    void Insert(std::int32_t index, TMenuItem& item) override {
        FNode->Children.insert(FNode->Children.begin() + index, static_cast<TFakeMenuItem&>(item).FNode);
        FNode->Calls.push_back("Insert(" + std::to_string(index) + ")");
    }
    void SetCaption(const std::string& caption) override {
        FNode->Caption = caption;
        FNode->Calls.push_back("SetCaption");
    }
    void SetHint(const std::string& hint) override {
        FNode->Hint = hint;
        FNode->Calls.push_back("SetHint");
    }
    void SetHelpContext(std::int32_t context) override {
        FNode->HelpContext = context;
        FNode->Calls.push_back("SetHelpContext");
    }
    void SetShortCut(std::uint16_t shortCut) override {
        FNode->ShortCut = shortCut;
        FNode->Calls.push_back("SetShortCut");
    }
    void SetOnClick(TClickHandler handler) override {
        FNode->OnClick = handler;
        FNode->Calls.push_back("SetOnClick");
    }

private:
    std::shared_ptr<TMenuNode> FNode;
};

}  // namespace qmx::test
