cask 'bar' do
  version '2.0'
  pkg 'Bar Installer.pkg'
  app 'Bar.app', target: '/Applications/Utilities/Bar.app'
  uninstall pkgutil: 'com.example.bar'
end
