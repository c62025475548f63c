# Runs the test's hook command after the n-th rename of a perl run (see the perl stand-in).
package VeldoRenameHook;
use strict;
use warnings;

my $renames = 0;

BEGIN {
    *CORE::GLOBAL::rename = sub {
        my $result = CORE::rename($_[0], $_[1]);
        $renames++;
        if (open(my $file, '<', $ENV{VELDO_PERL_HOOK})) {
            my $n = <$file>;
            my $command = do { local $/; <$file> };
            close($file);
            chomp($n) if defined $n;
            system('/bin/sh', '-c', $command) if defined $n && defined $command && $renames == $n;
        }
        return $result;
    };
}

1;
