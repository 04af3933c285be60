// The viewer's scene state: one instance for the whole process, with the
// values a run starts from.
#include "scene.h"

int Width = 800;
int Height = 600;

const char* cowModelFile = "cow.obj";
const char* penguinModelFile = "penguin.obj";
const char* rabbitModelFile = "rabbit.obj";
const char* shaderValueFile = "Shader.txt";

GLMmodel* cowModel = nullptr;
GLMmodel* penguinModel = nullptr;
GLMmodel* rabbitModel = nullptr;
GLMmodel* model = nullptr;

GLuint shaderTexture = 0;
vector lightAngle = {0.0f, 0.0f, 1.0f};

bool white = false;
float g_xRotation = 0.0f;
float g_yRotation = 0.0f;
mouse MouseState = {false, false, false, 0, 0};

float eyex = 0.0f, eyey = 0.0f, eyez = 4.0f;
float focusx = 0.0f, focusy = 0.0f, focusz = 0.0f;

float rampTexels[kRampSize][3];
bool rampLoaded = false;

ownModel ownModels[kMaxModels];
int ownModelCount = 0;
float windowAspect = float(Width) / float(Height);
float startYaw = 0.0f, startPitch = 0.0f;

backgroundColour background = kModelBackground;
