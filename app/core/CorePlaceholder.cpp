// Anchors the core library until its first translation unit arrives.
namespace veldo::core { }
