#include "preview.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "cvcore/image.h"
#include "cvcore/imagecodec.h"
#include "cvcore/memorystream.h"
#include "engine/klxdocument.h"
#include "engine/prscontroller.h"
#include "picture.h"
#include "progress.h"

namespace content {
namespace {

constexpr int kW = 320, kH = 240;

std::unique_ptr<cvcore::MemoryStream> Stream(const std::vector<std::uint8_t>& bytes)
{
    auto buffer = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer.get());
    return std::make_unique<cvcore::MemoryStream>(std::move(buffer), static_cast<int32_t>(bytes.size()));
}

struct Texture {
    int w = 0, h = 0;
    std::vector<std::uint32_t> argb;
    Rgba At(float u, float v) const
    {
        if (w == 0)
            return {1, 1, 1, 1};
        int x = static_cast<int>(std::floor(u * w)) % w, y = static_cast<int>(std::floor(v * h)) % h;
        if (x < 0) x += w;
        if (y < 0) y += h;
        std::uint32_t c = argb[static_cast<std::size_t>(y * w + x)];
        return {((c >> 16) & 255) / 255.0f, ((c >> 8) & 255) / 255.0f, (c & 255) / 255.0f, (c >> 24) / 255.0f};
    }
};

Texture ToTexture(const cvcore::Image& src)
{
    Texture t;
    cvcore::Image argb(src.GetWidth(), src.GetHeight(), cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8));
    argb.Blit(src, cvcore::BLIT_COPY);
    t.w = argb.GetWidth();
    t.h = argb.GetHeight();
    t.argb.resize(static_cast<std::size_t>(t.w * t.h));
    for (int y = 0; y < t.h; ++y)
        for (int x = 0; x < t.w; ++x) {
            const std::uint8_t* p = argb.GetPixels() + y * argb.GetPitch() + x * 4;
            t.argb[static_cast<std::size_t>(y * t.w + x)] = static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (p[3] << 24));
        }
    return t;
}

Texture Decode(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    auto s = Stream(bytes);
    const cvcore::ImageCodec* codec = cvcore::FindImageCodec(name.substr(name.rfind('.') + 1).c_str());
    cvcore::Image image;
    if (!codec || !codec->Decode(image, *s))
        return {};
    return ToTexture(image);
}

PRSController Controller(const KlxNode& n)
{
    PRSController c;
    auto fill = [](auto& dst, const auto& src) {
        dst.kind = src.IsCurve() ? PRS_CURVE : PRS_LINEAR;
        dst.start = src.start;
        dst.end = src.end;
        dst.ort = src.ort;
        dst.count = src.Count();
        dst.times = src.times;
        dst.keys = src.keys;
    };
    fill(c.position, n.positionTrack);
    fill(c.rotation, n.rotationTrack);
    fill(c.scale, n.scaleTrack);
    return c;
}

struct Posed {
    std::map<std::uint32_t, Matrix4> world;
};

Posed Pose(const KlxDocument& doc, float ticks)
{
    Posed p;
    std::map<std::uint32_t, Matrix4> local;
    for (const KlxNode& n : doc.nodes) {
        PRSController c = Controller(n);
        local[n.id] = c.GetScaleMatrix(ticks) * Matrix4(c.GetRotation(ticks)) * Matrix4::Translation(c.GetPosition(ticks));
    }
    for (const KlxNode& n : doc.nodes) {
        Matrix4 w = local[n.id];
        const KlxNode* parent = doc.FindNode(n.parentId);
        for (int depth = 0; parent && depth < 64; ++depth) {
            w = w * local[parent->id];
            parent = doc.FindNode(parent->parentId);
        }
        p.world[n.id] = w;
    }
    return p;
}

struct Raster {
    Picture colour{kW, kH};
    std::vector<float> depth = std::vector<float>(kW * kH, 1e30f);
};

struct ScreenVertex {
    float x, y, z;  // pixels, view depth
    Vector3 normal;  // view space
    Vector2 uv0, uv1;
};

void Fill(Raster& r, const ScreenVertex v[3], const std::function<Rgba(const ScreenVertex&)>& shade)
{
    float minX = std::max(0.0f, std::floor(std::min({v[0].x, v[1].x, v[2].x})));
    float maxX = std::min(kW - 1.0f, std::ceil(std::max({v[0].x, v[1].x, v[2].x})));
    float minY = std::max(0.0f, std::floor(std::min({v[0].y, v[1].y, v[2].y})));
    float maxY = std::min(kH - 1.0f, std::ceil(std::max({v[0].y, v[1].y, v[2].y})));
    float area = (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (v[1].y - v[0].y);
    if (std::fabs(area) < 1e-6f)
        return;
    for (int y = static_cast<int>(minY); y <= static_cast<int>(maxY); ++y)
        for (int x = static_cast<int>(minX); x <= static_cast<int>(maxX); ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            float w0 = ((v[1].x - px) * (v[2].y - py) - (v[2].x - px) * (v[1].y - py)) / area;
            float w1 = ((v[2].x - px) * (v[0].y - py) - (v[0].x - px) * (v[2].y - py)) / area;
            float w2 = 1.0f - w0 - w1;
            if (w0 < 0 || w1 < 0 || w2 < 0)
                continue;
            // Perspective-correct weights.
            float i0 = w0 / v[0].z, i1 = w1 / v[1].z, i2 = w2 / v[2].z, s = i0 + i1 + i2;
            i0 /= s; i1 /= s; i2 /= s;
            float z = 1.0f / s;
            float& d = r.depth[static_cast<std::size_t>(y * kW + x)];
            if (z >= d)
                continue;
            d = z;
            ScreenVertex f{px, py, z,
                           (v[0].normal * i0 + v[1].normal * i1 + v[2].normal * i2).Normalized(),
                           Vector2(v[0].uv0.u * i0 + v[1].uv0.u * i1 + v[2].uv0.u * i2, v[0].uv0.v * i0 + v[1].uv0.v * i1 + v[2].uv0.v * i2),
                           Vector2(v[0].uv1.u * i0 + v[1].uv1.u * i1 + v[2].uv1.u * i2, v[0].uv1.v * i0 + v[1].uv1.v * i1 + v[2].uv1.v * i2)};
            r.colour.At(x, y) = shade(f);
        }
}

void RenderScene(const std::string& name, const KlxDocument& doc, const std::map<std::string, Texture>& textures,
                 const std::vector<Texture>& images, std::size_t cameraIndex, float seconds, const std::string& path)
{
    float ticks = seconds * static_cast<float>(doc.sceneTime.framesPerSecond * doc.sceneTime.ticksPerFrame);
    Posed posed = Pose(doc, ticks);
    const KlxCamera& cam = doc.cameras[cameraIndex];
    const KlxNode* camNode = doc.FindNode(cam.nodeId);
    Vector3 eye = posed.world[cam.nodeId].GetTranslation();
    Matrix4 view;
    const KlxNode* target = doc.FindNode(camNode->targetId);
    if (target)
        view.LookAt(posed.world[target->id].GetTranslation(), eye, {0.0f, 1.0f, 0.0f});
    else
        view.SetInverse(posed.world[cam.nodeId]);
    float fx = 1.0f / std::tan(cam.fieldOfView * 0.5f);
    float fy = 1.0f / std::tan(cam.fieldOfView * 0.75f * 0.5f);
    float nearClip = cam.flags & 1 ? cam.nearClip : 1.0f;

    Raster r;
    Rgba fog = doc.fog ? Rgba{((doc.environment.fogColor >> 16) & 255) / 255.0f, ((doc.environment.fogColor >> 8) & 255) / 255.0f,
                               (doc.environment.fogColor & 255) / 255.0f, 1.0f}
                       : Rgba{0.08f, 0.08f, 0.1f, 1.0f};
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            r.colour.At(x, y) = fog;
    float fogStart = cam.environmentNear - (cam.environmentFar - cam.environmentNear) * doc.environment.fogNear;
    float fogEnd = cam.environmentNear + (cam.environmentFar - cam.environmentNear) / std::max(doc.environment.fogFar, 1e-3f);
    bool lit = !doc.lights.empty();

    for (const KlxMesh& mesh : doc.meshes) {
        if (name == "nakyleipa" && &mesh == &doc.meshes[1])
            continue;  // the show hides the ray source
        std::vector<Vector3> pos(mesh.vertices.size()), nrm(mesh.vertices.size());
        Matrix4 world = posed.world[mesh.nodeId];
        bool skinned = mesh.HasSkinWeights();
        for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
            Vector3 p = mesh.vertices[i].position, n = mesh.vertices[i].normal;
            if (skinned) {
                Vector3 bindPos = doc.FindNode(mesh.nodeId)->bindPose.TransformPoint(p), acc;
                for (const KlxWeight& w : mesh.vertices[i].weights) {
                    const KlxNode* bone = doc.FindNode(mesh.bones[w.bone]);
                    Matrix4 inv;
                    inv.SetInverse(bone->bindPose);
                    acc += (inv * posed.world[bone->id]).TransformPoint(bindPos) * w.weight;
                }
                pos[i] = acc;
                nrm[i] = n;
            } else {
                if (mesh.frames.size() > 1) {
                    std::size_t row = 0;
                    while (row + 1 < mesh.frames.size() && static_cast<float>(mesh.frames[row + 1].time) <= ticks)
                        ++row;
                    if (row + 1 < mesh.frames.size()) {
                        float f = (ticks - static_cast<float>(mesh.frames[row].time)) /
                                  static_cast<float>(mesh.frames[row + 1].time - mesh.frames[row].time);
                        p = mesh.frames[row].vertices[i].position * (1.0f - f) + mesh.frames[row + 1].vertices[i].position * f;
                    } else {
                        p = mesh.frames[row].vertices[i].position;
                    }
                }
                pos[i] = world.TransformPoint(p);
                nrm[i] = world.TransformVector(n).Normalized();
            }
        }
        for (const KlxFaceGroup& g : mesh.faceGroups) {
            const KlxMaterial* mat = nullptr;
            for (const KlxMaterial& m : doc.materials)
                if (m.id == g.materialId)
                    mat = &m;
            if (!mat || mat->opacity < 1.0f)
                continue;  // translucent surfaces are left out of the preview
            auto tex = [&](int slot) -> const Texture* {
                if (!mat->maps[slot].enabled)
                    return nullptr;
                auto it = textures.find(mat->maps[slot].fileName.Text());
                return it == textures.end() ? nullptr : &it->second;
            };
            const Texture* base = tex(1);
            const Texture* second = tex(7);
            const Texture* reflection = tex(9);
            const Texture* lightMap = g.lightMap >= 0 && g.lightMap < static_cast<int32_t>(images.size()) ? &images[static_cast<std::size_t>(g.lightMap)] : nullptr;
            bool twoSided = mat->flags & 1;
            bool detail = mesh.vertices.size() == 4018;
            for (std::size_t t = 0; t + 2 < g.indices.size(); t += 3) {
                ScreenVertex sv[3];
                bool behind = false;
                for (int k = 0; k < 3; ++k) {
                    std::uint16_t idx = g.indices[t + static_cast<std::size_t>(k)];
                    Vector3 v = view.TransformPoint(pos[idx]);
                    if (v.z < nearClip)
                        behind = true;
                    sv[k].x = (v.x / v.z * fx * 0.5f + 0.5f) * kW;
                    sv[k].y = (0.5f - v.y / v.z * fy * 0.5f) * kH;
                    sv[k].z = v.z;
                    sv[k].normal = view.TransformVector(nrm[idx]);
                    sv[k].uv0 = mesh.vertices[idx].uv[0];
                    sv[k].uv1 = detail ? Vector2(sv[k].uv0.u * 15.0f, sv[k].uv0.v * 15.0f) : mesh.vertices[idx].uv[1];
                }
                if (behind)
                    continue;
                float area = (sv[1].x - sv[0].x) * (sv[2].y - sv[0].y) - (sv[2].x - sv[0].x) * (sv[1].y - sv[0].y);
                if (!twoSided && area < 0.0f)
                    continue;  // counter-clockwise on screen: culled
                Fill(r, sv, [&](const ScreenVertex& f) {
                    Rgba c = base ? base->At(f.uv0.u, f.uv0.v) : Rgba{1, 1, 1, 1};
                    if (second) {
                        Rgba d = second->At(f.uv1.u, f.uv1.v);
                        c = {c.r * d.r, c.g * d.g, c.b * d.b, 1};
                    }
                    if (lightMap) {
                        Rgba d = lightMap->At(f.uv1.u, f.uv1.v);
                        c = {c.r * d.r, c.g * d.g, c.b * d.b, 1};
                    }
                    if (lit) {
                        float l = 0.35f + 0.65f * std::max(0.0f, -f.normal.Dot(Vector3(0.3f, -0.8f, 0.5f).Normalized()) * (f.normal.z < 0 ? 1.0f : 0.6f));
                        c = {c.r * l, c.g * l, c.b * l, 1};
                    }
                    if (reflection) {
                        Rgba e = reflection->At(0.5f + 0.5f * f.normal.x, 0.5f - 0.5f * f.normal.y);
                        c = base ? Rgba{std::min(1.0f, c.r + e.r), std::min(1.0f, c.g + e.g), std::min(1.0f, c.b + e.b), 1} : Rgba{c.r * e.r, c.g * e.g, c.b * e.b, 1};
                    }
                    if (doc.fog) {
                        float k = std::clamp((f.z - fogStart) / std::max(fogEnd - fogStart, 1e-3f), 0.0f, 1.0f);
                        c = Mix(c, fog, k);
                    }
                    c.a = 1.0f;
                    return c;
                });
            }
        }
    }
    std::vector<std::uint8_t> tga = r.colour.Tga(false);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(tga.data()), static_cast<std::streamsize>(tga.size()));
}

}  // namespace

void RenderPreviews(const std::vector<Asset>& assets, const std::string& outDir)
{
    for (const Asset& a : assets) {
        if (!a.name.ends_with(".klx"))
            continue;
        std::string folder = a.name.substr(0, a.name.rfind('/') + 1);
        std::string name = a.name.substr(folder.size(), a.name.size() - folder.size() - 4);
        std::map<std::string, Texture> textures;
        for (const Asset& t : assets)
            if (t.name.starts_with(folder) && (t.name.ends_with(".jpg") || t.name.ends_with(".tga")) &&
                t.name.find('/', folder.size()) == std::string::npos)
                textures[t.name.substr(folder.size())] = Decode(t.name, t.bytes);
        auto stream = Stream(a.bytes);
        KlxDocument doc(*stream);
        std::vector<Texture> images;
        for (const KlxImage& img : doc.images)
            images.push_back(ToTexture(img.image));
        float length = static_cast<float>(doc.sceneTime.endTick) / static_cast<float>(doc.sceneTime.framesPerSecond * doc.sceneTime.ticksPerFrame);
        Progress("preview " + name);
        for (std::size_t c = 0; c < doc.cameras.size(); ++c)
            for (int i = 0; i < 4; ++i)
                RenderScene(name, doc, textures, images, c, length * static_cast<float>(i) / 4.0f,
                            outDir + "/" + name + "-" + std::to_string(c) + "-" + std::to_string(i) + ".tga");
    }
}

}  // namespace content
