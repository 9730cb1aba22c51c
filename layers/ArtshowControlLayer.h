// A picture layer that acts on a mouse press: previous or next song, and a
// quarter turn of the carousel in the same direction.
#pragma once

#include "layers/ArtshowSimpleLayer.h"

class ArtshowControlLayer : public ArtshowSimpleLayer {
public:
    int32_t direction = 0;  // 1: next song; anything else: previous (-1 by convention)
    bool latched = false;   // set by the first Click of a press, cleared by ButtonUp

    int Load(XmlNode element) override;
    int Click(float pointerX, float pointerY) override;
    void ButtonUp(float pointerX, float pointerY) override;
};

// The one way the show changes song on request (the controls, the media keys,
// the desktop's media player interface): a quarter turn of the carousel in the
// direction, then the player's next (direction 1) or previous (anything else)
// song. A request during a turn is used up without changing the song: false.
bool ChangeSong(int32_t direction);
