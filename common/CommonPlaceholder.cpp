// Anchors the common library until its first translation unit arrives.
namespace veldo {
}
