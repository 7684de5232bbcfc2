#pragma once
#include <string>

struct SceneOptions {
    enum class Lighting { Auto, On, Off };

    std::string scene;               // path of the .klx file, inside an archive or not
    std::string password = "hopla";  // the show's archive password
    std::string camera;              // a camera's node name or index; empty: camera 0
    std::string out;                 // PNG file; empty: NAME.png, or nothing with --bench
    float time = 0.0f;               // scene time in seconds
    float step = 0.0f;               // --bench: seconds added to the time per frame
    int width = 640;
    int height = 480;
    int bench = 0;  // frames to time; 0: render once
    Lighting lighting = Lighting::Auto;
    bool list = false;
    bool help = false;
};

// Parses the command line; false with a message for bad arguments.
bool ParseSceneOptions(int argc, char** argv, SceneOptions& options, std::string& error);

extern const char SCENE_USAGE[];
