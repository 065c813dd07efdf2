// A stand-in of IzPack's bootstrap class, as 5.1.0 and later have it: it
// knows -logfile.
package com.izforge.izpack.installer.bootstrap;

public class Installer {
    public static void main(String[] args) {
        for (String arg : args) {
            if ("-logfile".equalsIgnoreCase(arg)) System.out.println("log");
        }
    }
}
