// A stand-in of IzPack's Info, with its name, serialVersionUID and the fields
// that the compiler serializes into resources/info.
package com.izforge.izpack.api.data;

import java.io.Serializable;
import java.util.ArrayList;
import java.util.Date;
import java.util.HashSet;
import java.util.Set;

public class Info implements Serializable {
    static final long serialVersionUID = 13288410782044775L;

    public static class Author implements Serializable {
        static final long serialVersionUID = -3090178155004960243L;
        public String name;
        public String email;
    }

    public static class TempDir implements Serializable {
        static final long serialVersionUID = 7578346199971960904L;
        public String variableName;
        public String prefix;
        public String suffix;
    }

    public String appName = "Quellbrook";
    public String appVersion = "2.0";
    public String appURL;
    public ArrayList<Author> authors = new ArrayList<>();
    public String javaVersion = "1.4";
    public boolean javaVersionStrict;
    public boolean jdkRequired;
    public String uninstallerName = "uninstaller.jar";
    public String uninstallerPath = "$INSTALL_PATH/Uninstaller";
    public String uninstallerCondition;
    public boolean requirePrivilegedExecution;
    public String privilegedExecutionConditionID;
    public int rebootAction;
    public String rebootActionConditionID;
    public Set<TempDir> tempdirs = new HashSet<>();
    public Date expiresDate;
}
