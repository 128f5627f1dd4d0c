// A canvas that records what the panel draws, for tests without a window.
#pragma once

#include <string>
#include <vector>

#include "ui/panel/panel_canvas.h"

namespace norvane::testing {

struct Fill {
    PanelRect rect;
    PanelColour colour;
};

struct Text {
    int x;
    int y;
    std::string text;
};

class RecordingCanvas : public PanelCanvas {
  public:
    enum class Kind { Transparent, Fill, Text, Logo };
    struct Operation {
        Kind kind;
        PanelRect rect;  // Fill; Logo's origin in left, top
        PanelColour colour;
        std::string text;  // Text; its origin in left, top
    };

    void UseTransparentText() override {
        operations.push_back({Kind::Transparent, {}, PanelColour::Background, {}});
    }
    void FillArea(const PanelRect& rect, PanelColour colour) override {
        operations.push_back({Kind::Fill, rect, colour, {}});
    }
    void PutText(int x, int y, const char* text, std::size_t length) override {
        operations.push_back(
            {Kind::Text, {x, y, 0, 0}, PanelColour::Background, std::string(text, length)});
    }
    void PutLogo(int x, int y) override {
        operations.push_back({Kind::Logo, {x, y, 0, 0}, PanelColour::Background, {}});
    }

    std::vector<Fill> Fills() const {
        std::vector<Fill> fills;
        for (const Operation& op : operations) {
            if (op.kind == Kind::Fill) {
                fills.push_back({op.rect, op.colour});
            }
        }
        return fills;
    }

    std::vector<Text> Texts() const {
        std::vector<Text> texts;
        for (const Operation& op : operations) {
            if (op.kind == Kind::Text) {
                texts.push_back({op.rect.left, op.rect.top, op.text});
            }
        }
        return texts;
    }

    std::vector<Operation> operations;
};

}  // namespace norvane::testing
