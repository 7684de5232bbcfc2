#pragma once
#include "pictures/picture.h"

namespace content {

// The show's pictures, each made from noise, plasma, distance shapes and
// text. Sizes are powers of two.
Picture MakeGlowPuff();                // 2dlight.jpg
Picture MakeBackLayer(int index);      // backlayer1..3.jpg
Picture MakeBlueCloud();               // bluecloud.tga
Picture MakeCreditPicture(int index);  // credpic1..3.tga
Picture MakeCreditText(int index);     // credtext1..3.tga
Picture MakeLogo();                    // quillmark_logo.tga
Picture MakeTitle();                   // halcyon2.tga
Picture MakeByLine();                  // byquillmark.tga
Picture MakeGreeting(int index);       // greet1..7.tga
Picture MakeSwirl();                   // backwob.jpg
Picture MakeBird();                    // lintu.tga
Picture MakeVioletRipple();            // violetti.jpg

}  // namespace content
