// A stand-in of IzPack's CustomData: one listener of resources/customData.
package com.izforge.izpack.data;

import java.io.Serializable;
import java.util.List;

public class CustomData implements Serializable {
    static final long serialVersionUID = 5504496325961965576L;
    public String listenerName;
    public List<String> contents;
    public List<Object> osConstraints;
    public int type;
}
