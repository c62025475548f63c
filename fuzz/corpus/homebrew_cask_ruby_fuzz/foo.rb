cask "foo" do
  version "1.2.3"
  sha256 "abc"
  url "https://example.com/Foo-#{version}.dmg"
  name "Foo"
  app "Foo.app"
  app "Foo Helper.app", target: "Helpers/Foo Helper.app"
  app "Foo #{version}.app" # interpolated: left out
  zap trash: [
    "~/Library/Application Support/Foo",
  ]
end
